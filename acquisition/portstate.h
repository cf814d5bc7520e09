#pragma once

class QAbstractButton;

// The port's state is the open button's caption: "打开串口" while the port is
// closed, "关闭串口" while it is open. Every part asks here.
bool portCaptionSaysClosed(const QAbstractButton *openButton);
