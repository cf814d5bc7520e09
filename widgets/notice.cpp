#include "notice.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QHash>
#include <QLabel>
#include <QPaintEvent>
#include <QPainter>
#include <QStaticText>
#include <QVector>

#include <QtMath>

// The notice's text, drawn line by line from copies laid out once. A notice
// told of events by the dozen a second shows mostly the lines it showed
// before, shifted by one, and laying out text (CJK through fallback fonts) is
// what costs. A label still, so that what it shows can be read back; plain
// text that cannot be selected, since selecting rebuilds a text document at
// every change.
class NoticeText : public QLabel
{
public:
    explicit NoticeText(QWidget *parent)
        : QLabel(parent)
    {
        setTextFormat(Qt::PlainText);
        setTextInteractionFlags(Qt::NoTextInteraction);
    }

    // Takes the text and returns the room it needs, measuring new lines only.
    QSize take(const QString &text)
    {
        QHash<QString, QStaticText> laidOut;
        for (const QStaticText &line : qAsConst(m_lines))
            laidOut.insert(line.text(), line);
        m_lines.clear();
        m_heights.clear();
        const int spacing = fontMetrics().lineSpacing();
        int width = 0;
        int height = 0;
        for (const QString &line : text.split(QLatin1Char('\n'))) {
            auto found = laidOut.constFind(line);
            QStaticText shown = found != laidOut.cend() ? *found : laidOutLine(line);
            const QSizeF size = shown.size();
            width = qMax(width, qCeil(size.width()));
            m_heights << qMax(spacing, qCeil(size.height()));
            height += m_heights.constLast();
            m_lines << shown;
        }
        QLabel::setText(text);
        m_needed = QSize(width, height);
        return m_needed;
    }

    QSize sizeHint() const override { return m_needed; }
    QSize minimumSizeHint() const override { return m_needed; }

protected:
    void paintEvent(QPaintEvent *event) override
    {
        QPainter painter(this);
        const QRect dirty = event->rect();
        QPoint at = contentsRect().topLeft();
        for (int i = 0; i < m_lines.size() && at.y() <= dirty.bottom(); ++i) {
            if (at.y() + m_heights.at(i) > dirty.top())
                painter.drawStaticText(at, m_lines.at(i));
            at.ry() += m_heights.at(i);
        }
    }

private:
    QStaticText laidOutLine(const QString &line) const
    {
        QStaticText shown(line);
        shown.setTextFormat(Qt::PlainText);
        shown.prepare(QTransform(), font());
        return shown;
    }

    QVector<QStaticText> m_lines;
    QVector<int> m_heights;
    QSize m_needed;
};

Notice *Notice::of(QWidget *window, const QString &name, const QString &title, QStyle::StandardPixmap icon)
{
    // A notice the operator just closed waits for its deletion: not that one.
    const QList<Notice *> notices = window->findChildren<Notice *>(name, Qt::FindDirectChildrenOnly);
    for (Notice *notice : notices) {
        if (notice->testAttribute(Qt::WA_DeleteOnClose))
            return notice;
    }
    return new Notice(window, name, title, icon);
}

Notice::Notice(QWidget *window, const QString &name, const QString &title, QStyle::StandardPixmap icon)
    : QDialog(window)
    , m_text(new NoticeText(this))
{
    setObjectName(name);
    setWindowTitle(title);
    setAttribute(Qt::WA_DeleteOnClose);
    setAttribute(Qt::WA_ShowWithoutActivating);
    setModal(false);

    QStyle *const style = this->style();
    const int iconExtent = style->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, this);
    auto *iconLabel = new QLabel(this);
    iconLabel->setPixmap(style->standardIcon(icon, nullptr, this).pixmap(iconExtent));
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QWidget::close);

    auto *layout = new QGridLayout(this);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    layout->addWidget(iconLabel, 0, 0, Qt::AlignTop);
    layout->addWidget(m_text, 0, 1);
    layout->addWidget(buttons, 1, 0, 1, 2);
}

QString Notice::text() const
{
    return m_text->text();
}

void Notice::setText(const QString &text)
{
    if (text == m_text->text())
        return;
    const QSize needed = m_text->take(text);
    // On screen the notice grows but never shrinks: no relayout while the
    // text fits, and the OK button stays where the operator reaches for it.
    if (!isVisible()) {
        m_text->setFixedSize(needed);
        return;
    }
    const QSize room = m_text->minimumSize();
    if (needed.width() > room.width() || needed.height() > room.height())
        m_text->setFixedSize(needed.expandedTo(room));
}

void Notice::tell(const QString &text)
{
    setText(text);
    if (!isVisible())
        show();
}

void Notice::setTextName(const QString &name)
{
    m_text->setObjectName(name);
}
