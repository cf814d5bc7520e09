#pragma once

#include <QMainWindow>

class FormChoices;
class LineNotice;
class MapLibrary;
class ModbusLine;
class PollCycle;
class Polling;
class Publisher;
class QAbstractButton;
class QButtonGroup;
class QSortFilterProxyModel;
class QStandardItemModel;
class QTimer;
class ItemDelegate;
class RecordingSession;

namespace Ui {
class MainWindow;
}

class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

private slots:
    // The order of these slots is the order of the meta-object's method table.
    void onButtonClicked(QAbstractButton *button);
    void on_btnOpen_clicked();
    void on_btnAddreader_clicked();
    void on_btnDelreader_clicked();
    void MB_POLL();
    void saved_process();
    void on_btnClrList_clicked();
    void on_redBtn_clicked();
    void on_greenBtn_clicked();
    void on_yellowBtn_clicked();
    void on_allBtn_clicked();
    void on_btnStart_clicked();
    void on_btnStop_clicked();

private:
    bool portIsClosed() const;

    Ui::MainWindow *ui;
    QButtonGroup *filterGroup = nullptr;
    ItemDelegate *tileDelegate = nullptr;
    QSortFilterProxyModel *proxyModel = nullptr;
    QStandardItemModel *deviceModel = nullptr;
    QTimer *pollTimer = nullptr;
    QTimer *recordTimer = nullptr;

    // The serial line, owned by a worker on a thread of its own, and the poll
    // cycle that sends it requests.
    ModbusLine *modbusLine = nullptr;
    PollCycle *pollCycle = nullptr;
    Polling *polling = nullptr;
    LineNotice *lineNotice = nullptr;
    // The form's boxes as the list's actions and the scan see them.
    FormChoices *formChoices = nullptr;

    // The recording: its folder, files, record clock and the writer of its rows.
    RecordingSession *recordingSession = nullptr;
    Publisher *publisher = nullptr;
    // The register maps; 添加到列表 reads new devices with its map for them.
    MapLibrary *mapLibrary = nullptr;
};
