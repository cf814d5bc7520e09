#include "publishdialog.h"

#include "publisher.h"

#include <QAction>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QVBoxLayout>

PublishDialog::PublishDialog(Publisher *publisher, QWidget *parent)
    : QDialog(parent)
    , m_publisher(publisher)
{
    setObjectName(QStringLiteral("publishDialog"));
    setWindowTitle(tr("发布到 MQTT"));

    m_broker = newEdit("brokerEdit");
    m_broker->setPlaceholderText(QStringLiteral("mqtt://host:1883"));
    m_station = newEdit("stationEdit");
    m_prefix = newEdit("topicPrefixEdit");
    m_username = newEdit("usernameEdit");
    m_password = newEdit("passwordEdit");
    m_password->setEchoMode(QLineEdit::Password);
    m_caFile = newEdit("caFileEdit");
    m_caFile->setPlaceholderText(tr("空：系统的 CA 证书"));
    auto *browse = new QPushButton(tr("选择…"), this);
    browse->setObjectName(QStringLiteral("caFileButton"));
    connect(browse, &QPushButton::clicked, this, &PublishDialog::chooseCaFile);
    m_savePassword = new QCheckBox(tr("保存密码"), this);
    m_savePassword->setObjectName(QStringLiteral("savePasswordBox"));

    auto *caRow = new QHBoxLayout;
    caRow->addWidget(m_caFile);
    caRow->addWidget(browse);
    auto *form = new QFormLayout;
    form->addRow(tr("服务器地址"), m_broker);
    form->addRow(tr("站名"), m_station);
    form->addRow(tr("主题前缀"), m_prefix);
    form->addRow(tr("用户名"), m_username);
    form->addRow(tr("密码"), m_password);
    form->addRow(QString(), m_savePassword);
    form->addRow(tr("CA 文件 (mqtts)"), caRow);

    m_problem = new QLabel(this);
    m_problem->setObjectName(QStringLiteral("publishProblem"));
    m_problem->setWordWrap(true);
    m_problem->setTextFormat(Qt::PlainText);
    m_problem->setStyleSheet(QStringLiteral("color: #b00020;"));

    m_start = new QPushButton(tr("开始发布"), this);
    m_start->setObjectName(QStringLiteral("startPublishButton"));
    m_stop = new QPushButton(tr("停止发布"), this);
    m_stop->setObjectName(QStringLiteral("stopPublishButton"));
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    buttons->addButton(m_start, QDialogButtonBox::ActionRole);
    buttons->addButton(m_stop, QDialogButtonBox::ActionRole);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_start, &QPushButton::clicked, this, &PublishDialog::startPublishing);
    connect(m_stop, &QPushButton::clicked, m_publisher, &Publisher::stop);
    connect(m_savePassword, &QCheckBox::toggled, m_publisher, &Publisher::setSavesPassword);
    connect(m_publisher, &Publisher::publishingChanged, this, &PublishDialog::showState);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(m_problem);
    layout->addWidget(buttons);
    load();
}

void PublishDialog::load()
{
    const PublishSettings settings = m_publisher->settings();
    m_broker->setText(settings.broker);
    m_station->setText(settings.station);
    m_prefix->setText(settings.topicPrefix);
    m_username->setText(settings.username);
    m_password->setText(settings.password);
    m_caFile->setText(settings.caFile);
    m_savePassword->setChecked(m_publisher->savesPassword());
    m_problem->clear();
    showState(m_publisher->isPublishing());
}

QLineEdit *PublishDialog::newEdit(const char *name)
{
    auto *edit = new QLineEdit(this);
    edit->setObjectName(QLatin1String(name));
    edit->setMinimumWidth(320);
    return edit;
}

void PublishDialog::startPublishing()
{
    PublishSettings settings;
    settings.broker = m_broker->text().trimmed();
    settings.station = m_station->text();
    settings.topicPrefix = m_prefix->text();
    settings.username = m_username->text();
    settings.password = m_password->text();
    settings.caFile = m_caFile->text();
    QString problem = settingsProblem(settings);
    if (problem.isEmpty())
        problem = caFileProblem(settings.caFile);
    m_problem->setText(problem);
    if (!problem.isEmpty())
        return;
    m_publisher->setSavesPassword(m_savePassword->isChecked());
    m_publisher->start(settings);
}

void PublishDialog::chooseCaFile()
{
    const QString path = QFileDialog::getOpenFileName(this, tr("CA 文件"), m_caFile->text(),
                                                      tr("证书 (*.pem *.crt);;所有文件 (*)"));
    if (!path.isEmpty())
        m_caFile->setText(path);
}

void PublishDialog::showState(bool publishing)
{
    m_start->setEnabled(!publishing);
    m_stop->setEnabled(publishing);
}

void addPublishAction(QMenu *menu, Publisher *publisher, QWidget *window)
{
    auto *action = new QAction(QObject::tr("发布到 MQTT…"), menu);
    action->setObjectName(QStringLiteral("publishAction"));
    menu->addAction(action);
    QObject::connect(action, &QAction::triggered, publisher, [publisher, window] {
        auto *dialog = window->findChild<PublishDialog *>(QStringLiteral("publishDialog"));
        if (!dialog)
            dialog = new PublishDialog(publisher, window);
        else
            dialog->load();
        dialog->show();
        dialog->raise();
    });
}
