#include "acquisition/portstate.h"

#include <QAbstractButton>
#include <QCoreApplication>

bool portCaptionSaysClosed(const QAbstractButton *openButton)
{
    return openButton->text() == QCoreApplication::translate("MainWindow", "打开串口");
}
