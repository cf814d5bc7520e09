#pragma once

#include <QDialog>

class Publisher;
class QCheckBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;

// Where to publish and as whom, and the buttons that start and stop it.
// Bad input is refused whole, with the reason under the fields.
class PublishDialog : public QDialog
{
    Q_OBJECT

public:
    PublishDialog(Publisher *publisher, QWidget *parent);

    // Shows the settings of the running or last session.
    void load();

private:
    void startPublishing();
    void chooseCaFile();
    void showState(bool publishing);
    QLineEdit *newEdit(const char *name);

    Publisher *const m_publisher;
    QLineEdit *m_broker;
    QLineEdit *m_station;
    QLineEdit *m_prefix;
    QLineEdit *m_username;
    QLineEdit *m_password;
    QLineEdit *m_caFile;
    QCheckBox *m_savePassword;
    QLabel *m_problem;
    QPushButton *m_start;
    QPushButton *m_stop;
};

// Appends 发布到 MQTT… to the tile area's context menu; the dialog is made
// on first use and kept for the run.
void addPublishAction(QMenu *menu, Publisher *publisher, QWidget *window);
