#pragma once

#include <QFont>
#include <QPainter>
#include <QPdfWriter>
#include <QRectF>
#include <QString>
#include <QStringList>
#include <QVector>

class QIODevice;

// The pages of a printed document as every report and certificate has them:
// A4 upright, a header line with the station and the document's title, a
// footer with "第 n 页，共 m 页", text in a font that holds Chinese (embedded
// in the PDF), and a cursor that moves down the page as things are placed.
// Only QPdfWriter and QPainter: it may be used on any thread.
class ReportDocument
{
public:
    // `pageCount` is known beforehand, so that every page names the total.
    ReportDocument(QIODevice *device, const QString &title, const QString &header, int pageCount);

    // Whether the painter could start on the device.
    bool isOpen() const { return m_painter.isActive(); }
    // The first page is open from the start; this ends it and opens the next.
    void nextPage();
    // Ends the last page and the document; false when the painter failed.
    bool end();

    QPainter &painter() { return m_painter; }
    int pageNumber() const { return m_page; }
    // Millimetres in the painter's units.
    qreal mm(qreal millimetres) const;
    QFont font(qreal points, bool bold = false) const;

    // What is left of the page's body below the cursor.
    qreal remaining() const;
    void skip(qreal millimetres);
    void heading(const QString &text, qreal points = 14);
    // Wrapped at the body's width.
    void paragraph(const QString &text, qreal points = 9);
    // A table across the body, columns as wide as `shares` of it; rows whose
    // `marked` entry is true are drawn in red. Draws the rows that fit and
    // returns how many.
    int table(const QStringList &header, const QVector<QStringList> &rows, const QVector<qreal> &shares,
              qreal points, const QVector<bool> &marked = {});
    // The height of a table row in `points`.
    qreal rowHeight(qreal points) const;
    // Takes `millimetres` of the body below the cursor, for a plot.
    QRectF take(qreal millimetres);

private:
    void drawFurniture();

    QPdfWriter m_writer;
    QPainter m_painter;
    const QString m_title;
    const QString m_header;
    const int m_pageCount;
    int m_page = 1;
    qreal m_y = 0;
    QRectF m_body;
};
