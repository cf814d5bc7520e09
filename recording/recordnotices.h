#pragma once

class QStringList;
class QWidget;

// Tells the operator which record files Start could not create; waits for OK.
void reportUncreatedFiles(QWidget *parent, const QStringList &paths);

// Tells the operator that rows for these record files are being lost, without
// holding up polling or recording: the notice stays open beside the window.
void reportLostRows(QWidget *parent, const QStringList &paths);
