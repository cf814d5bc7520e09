#include "strayboxes.h"

#include "notice.h"

#include <QApplication>
#include <QMessageBox>

namespace {

constexpr int LookEveryMs = 500;
const QString LineNoticeName = QStringLiteral("lineNotice");

} // namespace

StrayBoxes::StrayBoxes()
{
    m_timer.setInterval(LookEveryMs);
    QObject::connect(&m_timer, &QTimer::timeout, &m_timer, [this] { look(); });
    m_timer.start();
}

void StrayBoxes::look()
{
    const QWidgetList widgets = QApplication::topLevelWidgets();
    for (QWidget *widget : widgets) {
        auto *box = qobject_cast<QMessageBox *>(widget);
        auto *notice = qobject_cast<Notice *>(widget);
        if ((!box && !notice) || !widget->isVisible() || widget->objectName() == LineNoticeName)
            continue;
        m_texts << (box ? box->text() : notice->text()).simplified();
        widget->close();
    }
}
