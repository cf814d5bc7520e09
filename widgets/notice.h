#pragma once

#include <QDialog>
#include <QStyle>

class NoticeText;

// A box beside the window that tells the operator something without holding
// anything up: non-modal, it never takes the focus, it is made once and
// updated in place, and it goes when the operator closes it. Its text is
// plain: addresses, paths and station names come from files.
class Notice : public QDialog
{
    Q_OBJECT

public:
    // The window's notice called `name`, made (hidden) if it has none yet.
    static Notice *of(QWidget *window, const QString &name, const QString &title,
                      QStyle::StandardPixmap icon = QStyle::SP_MessageBoxInformation);

    QString text() const;
    // Changes the text in place; the same text again costs nothing, and text
    // that fits the room already laid out costs only a repaint.
    void setText(const QString &text);
    // Sets the text and shows the notice if it is not on screen.
    void tell(const QString &text);
    void setTextName(const QString &name);

private:
    Notice(QWidget *window, const QString &name, const QString &title, QStyle::StandardPixmap icon);

    NoticeText *const m_text;
};
