#include "publishsettings.h"

#include "hostport.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSysInfo>
#include <iterator>

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("PublishSettings", text);
}

const char *const Fields[] = {"broker", "station", "topicPrefix", "username", "password", "caFile"};
// The account and the CA file may be left out of a hand-written file.
constexpr int FirstOptionalField = 3;

QString *field(PublishSettings &settings, int index)
{
    QString *const fields[] = {&settings.broker,   &settings.station,  &settings.topicPrefix,
                               &settings.username, &settings.password, &settings.caFile};
    return fields[index];
}

} // namespace

bool operator==(const PublishSettings &a, const PublishSettings &b)
{
    return a.broker == b.broker && a.station == b.station && a.topicPrefix == b.topicPrefix
           && a.username == b.username && a.password == b.password && a.caFile == b.caFile;
}

Result<BrokerAddress> parseBrokerUrl(const QString &url)
{
    // The scheme, then host or [IPv6] with an optional :port, then nothing but
    // an optional slash.
    static const QRegularExpression shape(QStringLiteral("^([A-Za-z][A-Za-z0-9+.-]*)://(.*?)/?$"));
    const QRegularExpressionMatch match = shape.match(url.trimmed());
    const std::optional<HostPort> parsed
        = match.hasMatch() ? parseHostPort(match.captured(2)) : std::optional<HostPort>();
    if (!parsed)
        return Failure{tr("服务器地址 \"%1\" 格式不对，应为 mqtt://主机[:端口] 或 mqtts://主机[:端口]").arg(url)};
    const QString scheme = match.captured(1).toLower();
    if (scheme != QLatin1String("mqtt") && scheme != QLatin1String("mqtts"))
        return Failure{tr("服务器地址的协议 \"%1\" 不受支持，只能是 mqtt 或 mqtts").arg(match.captured(1))};
    BrokerAddress address;
    address.tls = scheme == QLatin1String("mqtts");
    address.host = parsed->host;
    address.port = address.tls ? DefaultMqttsPort : DefaultMqttPort;
    if (parsed->hasPort) {
        const int port = parsed->port().value_or(0);
        if (port < 1)
            return Failure{tr("服务器端口 \"%1\" 应在 1–65535 之间").arg(parsed->portText)};
        address.port = port;
    }
    return address;
}

QString settingsProblem(const PublishSettings &settings)
{
    const Result<BrokerAddress> broker = parseBrokerUrl(settings.broker);
    if (!broker.ok())
        return broker.error();
    // Wildcards and level separators would make the topics of one station
    // match those of others.
    if (settings.station.isEmpty())
        return tr("站名不能为空");
    if (settings.station.contains(QRegularExpression(QStringLiteral("[+#/\\x{0}]"))))
        return tr("站名 \"%1\" 不能含有 +、#、/").arg(settings.station);
    if (settings.topicPrefix.isEmpty())
        return tr("主题前缀不能为空");
    if (settings.topicPrefix.contains(QRegularExpression(QStringLiteral("[+#\\x{0}]"))))
        return tr("主题前缀 \"%1\" 不能含有 + 或 #").arg(settings.topicPrefix);
    if (settings.topicPrefix.split(QLatin1Char('/')).contains(QString()))
        return tr("主题前缀 \"%1\" 含有空的层级").arg(settings.topicPrefix);
    return {};
}

QString caFileProblem(const QString &path)
{
    if (path.isEmpty())
        return {};
    const QFileInfo info(path);
    if (!info.isFile() || !info.isReadable())
        return tr("CA 文件 %1 无法读取").arg(path);
    return {};
}

QString defaultStationName()
{
    const QString host = QSysInfo::machineHostName();
    return host.isEmpty() ? QStringLiteral("velmora") : host;
}

QString defaultTopicPrefix()
{
    return QStringLiteral("velmora");
}

namespace PublishObject {

Result<PublishSettings> fromJson(const QJsonObject &object)
{
    PublishSettings settings;
    for (int i = 0; i < int(std::size(Fields)); ++i) {
        const QJsonValue value = object.value(QLatin1String(Fields[i]));
        if (value.isUndefined() && i >= FirstOptionalField)
            continue;
        if (value.isUndefined())
            return Failure{tr("缺少 %1").arg(QLatin1String(Fields[i]))};
        if (!value.isString())
            return Failure{tr("%1 应为文本").arg(QLatin1String(Fields[i]))};
        *field(settings, i) = value.toString();
    }
    const QString problem = settingsProblem(settings);
    if (!problem.isEmpty())
        return Failure{problem};
    return settings;
}

QJsonObject toJson(const PublishSettings &settings, bool withPassword)
{
    PublishSettings written = settings;
    if (!withPassword)
        written.password.clear();
    QJsonObject object;
    for (int i = 0; i < int(std::size(Fields)); ++i)
        object.insert(QLatin1String(Fields[i]), *field(written, i));
    return object;
}

} // namespace PublishObject
