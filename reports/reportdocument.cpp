#include "reportdocument.h"

#include <QFontMetricsF>
#include <QPageLayout>
#include <QPageSize>

#include <algorithm>

namespace {

// Fine enough for hair lines and small text, small enough for quick pages.
constexpr int Resolution = 300;
constexpr qreal MarginMm = 18;
constexpr qreal FurnitureMm = 10;
constexpr qreal FurniturePoints = 8;

// Latin letters and digits from a face whose glyphs map back to their
// characters in the PDF's text; Chinese from the CJK font the package
// depends on.
const QStringList FontFamilies = {QStringLiteral("DejaVu Sans"), QStringLiteral("Noto Sans CJK SC")};

} // namespace

ReportDocument::ReportDocument(QIODevice *device, const QString &title, const QString &header, int pageCount)
    : m_writer(device)
    , m_title(title)
    , m_header(header)
    , m_pageCount(pageCount)
{
    m_writer.setPageSize(QPageSize(QPageSize::A4));
    m_writer.setPageOrientation(QPageLayout::Portrait);
    m_writer.setPageMargins(QMarginsF(0, 0, 0, 0), QPageLayout::Millimeter);
    m_writer.setResolution(Resolution);
    m_writer.setTitle(title);
    m_writer.setCreator(QStringLiteral("Velmora"));
    if (!m_painter.begin(&m_writer))
        return;
    const QRectF page(QPointF(0, 0), m_writer.pageLayout().fullRectPixels(Resolution).size());
    m_body = page.adjusted(mm(MarginMm), mm(MarginMm + FurnitureMm), -mm(MarginMm), -mm(MarginMm + FurnitureMm));
    drawFurniture();
}

qreal ReportDocument::mm(qreal millimetres) const
{
    return millimetres * Resolution / 25.4;
}

QFont ReportDocument::font(qreal points, bool bold) const
{
    QFont font(FontFamilies.constFirst());
    font.setFamilies(FontFamilies);
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(points);
    font.setBold(bold);
    return font;
}

void ReportDocument::drawFurniture()
{
    m_y = m_body.top();
    m_painter.save();
    m_painter.setFont(font(FurniturePoints));
    m_painter.setPen(QPen(Qt::black, mm(0.2)));
    const qreal headerY = m_body.top() - mm(FurnitureMm) * 0.4;
    const QRectF headerBox(m_body.left(), m_body.top() - mm(FurnitureMm), m_body.width(), mm(FurnitureMm) * 0.6);
    m_painter.drawText(headerBox, Qt::AlignLeft | Qt::AlignBottom, m_header);
    m_painter.drawText(headerBox, Qt::AlignRight | Qt::AlignBottom, m_title);
    m_painter.drawLine(QPointF(m_body.left(), headerY), QPointF(m_body.right(), headerY));
    const qreal footerY = m_body.bottom() + mm(FurnitureMm) * 0.4;
    m_painter.drawLine(QPointF(m_body.left(), footerY), QPointF(m_body.right(), footerY));
    const QRectF footerBox(m_body.left(), footerY, m_body.width(), mm(FurnitureMm) * 0.6);
    m_painter.drawText(footerBox, Qt::AlignHCenter | Qt::AlignBottom,
                       QStringLiteral("第 %1 页，共 %2 页").arg(m_page).arg(m_pageCount));
    m_painter.restore();
}

void ReportDocument::nextPage()
{
    if (!isOpen())
        return;
    m_writer.newPage();
    ++m_page;
    drawFurniture();
}

bool ReportDocument::end()
{
    return isOpen() && m_painter.end();
}

qreal ReportDocument::remaining() const
{
    return m_body.bottom() - m_y;
}

void ReportDocument::skip(qreal millimetres)
{
    m_y += mm(millimetres);
}

void ReportDocument::heading(const QString &text, qreal points)
{
    m_painter.setFont(font(points, true));
    m_painter.setPen(Qt::black);
    const QRectF box(m_body.left(), m_y, m_body.width(), m_painter.fontMetrics().height() * 1.4);
    m_painter.drawText(box, Qt::AlignLeft | Qt::AlignVCenter, text);
    m_y += box.height();
}

void ReportDocument::paragraph(const QString &text, qreal points)
{
    m_painter.setFont(font(points));
    m_painter.setPen(Qt::black);
    const QRectF bounds = m_painter.boundingRect(QRectF(m_body.left(), m_y, m_body.width(), remaining()),
                                                 Qt::TextWordWrap | Qt::AlignLeft | Qt::AlignTop, text);
    m_painter.drawText(QRectF(m_body.left(), m_y, m_body.width(), bounds.height()),
                       Qt::TextWordWrap | Qt::AlignLeft | Qt::AlignTop, text);
    m_y += bounds.height() + mm(1);
}

qreal ReportDocument::rowHeight(qreal points) const
{
    return QFontMetricsF(font(points), &m_writer).height() * 1.5;
}

int ReportDocument::table(const QStringList &header, const QVector<QStringList> &rows, const QVector<qreal> &shares,
                          qreal points, const QVector<bool> &marked)
{
    const qreal height = rowHeight(points);
    qreal total = 0;
    for (const qreal share : shares)
        total += share;
    QVector<qreal> lefts{m_body.left()};
    for (const qreal share : shares)
        lefts.append(lefts.last() + m_body.width() * share / total);

    const auto drawRow = [&](const QStringList &cells, const QColor &color, bool shaded) {
        const QRectF line(m_body.left(), m_y, m_body.width(), height);
        if (shaded)
            m_painter.fillRect(line, QColor(230, 230, 230));
        m_painter.setPen(color);
        for (int column = 0; column < shares.size() && column < cells.size(); ++column) {
            const QRectF cell(lefts.at(column) + mm(0.6), m_y, lefts.at(column + 1) - lefts.at(column) - mm(1.2),
                              height);
            m_painter.drawText(cell, Qt::AlignLeft | Qt::AlignVCenter,
                               m_painter.fontMetrics().elidedText(cells.at(column), Qt::ElideRight, int(cell.width())));
        }
        m_painter.setPen(QPen(QColor(150, 150, 150), mm(0.1)));
        m_painter.drawLine(line.bottomLeft(), line.bottomRight());
        m_y += height;
    };

    m_painter.setFont(font(points, true));
    drawRow(header, Qt::black, true);
    m_painter.setFont(font(points));
    int drawn = 0;
    for (const QStringList &row : rows) {
        if (remaining() < height)
            break;
        drawRow(row, marked.value(drawn) ? QColor(190, 0, 0) : QColor(Qt::black), false);
        ++drawn;
    }
    m_y += mm(2);
    return drawn;
}

QRectF ReportDocument::take(qreal millimetres)
{
    const QRectF area(m_body.left(), m_y, m_body.width(), std::min(mm(millimetres), remaining()));
    m_y += area.height();
    return area;
}
