#pragma once

#include <QObject>
#include <QStringList>
#include <QTimer>

// Watches for message boxes other than the lost-line notice, which is part of
// a pulled line: an error box would say a record file or the line failed.
// Each one seen is closed, modal or not, so the run goes on, and its text kept.
class StrayBoxes
{
public:
    StrayBoxes();

    QStringList texts() const { return m_texts; }

private:
    void look();

    QTimer m_timer;
    QStringList m_texts;
};
