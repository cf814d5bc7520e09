#include "strayboxes.h"

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
        if (!box || !box->isVisible() || box->objectName() == LineNoticeName)
            continue;
        m_texts << box->text().simplified();
        box->close();
    }
}
