#pragma once

#include <QProcess>
#include <QRegularExpression>
#include <QString>
#include <QStringList>

// The pages of a PDF as text, in the order of the page.
inline QStringList pdfPages(const QString &path)
{
    QProcess pdftotext;
    pdftotext.start(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), path, QStringLiteral("-")});
    if (!pdftotext.waitForFinished(30000) || pdftotext.exitCode() != 0)
        return {};
    // The CJK font gives some characters the glyph of a radical of the same
    // shape, and the PDF's text names the radical: ⾏ for 行, whose
    // compatibility form is the character, and ⻚ and ⻓, which have none.
    QStringList pages = QString::fromUtf8(pdftotext.readAllStandardOutput())
                            .normalized(QString::NormalizationForm_KC)
                            .replace(QChar(0x2EDA), QChar(0x9875))
                            .replace(QChar(0x2ED3), QChar(0x957F))
                            .split(QLatin1Char('\f'));
    if (!pages.isEmpty() && pages.last().trimmed().isEmpty())
        pages.removeLast();
    return pages;
}

// A text as it is read back: in compatibility form, as the pages are.
inline QString extracted(const QString &text)
{
    return text.normalized(QString::NormalizationForm_KC);
}

// Fields as a table row shows them: in order, apart by spaces only.
inline bool holdsRow(const QString &text, const QStringList &fields)
{
    QStringList escaped;
    for (const QString &field : fields)
        escaped << QRegularExpression::escape(extracted(field));
    return text.contains(QRegularExpression(escaped.join(QStringLiteral("[ \\t]+"))));
}
