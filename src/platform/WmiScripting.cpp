#include "platform/WmiScripting.h"

#include <QFile>
#include <QRegularExpression>
#include <arpa/inet.h>
#include <array>
#include <climits>
#include <unistd.h>

namespace platform::wmi {

namespace {

QStringList& askedFor()
{
    static QStringList servers;
    return servers;
}

QString hostName()
{
    std::array<char, HOST_NAME_MAX + 1> name {};
    if (::gethostname(name.data(), name.size() - 1) != 0)
        return {};
    return QString::fromLocal8Bit(name.data());
}

bool isLoopbackAddress(const QString& text)
{
    QString address = text;
    if (address.startsWith(u'[') && address.endsWith(u']'))
        address = address.mid(1, address.size() - 2);
    const QByteArray bytes = address.toLatin1();
    in_addr v4 {};
    if (::inet_pton(AF_INET, bytes.constData(), &v4) == 1)
        return (ntohl(v4.s_addr) >> 24) == 127;
    in6_addr v6 {};
    if (::inet_pton(AF_INET6, bytes.constData(), &v6) == 1) {
        if (IN6_IS_ADDR_LOOPBACK(&v6))
            return true;
        return IN6_IS_ADDR_V4MAPPED(&v6) && v6.s6_addr[12] == 127;
    }
    return false;
}

// The WQL text of the one query that is answered, blanks folded, letter case ignored.
bool isOperatingSystemQuery(const QString& query)
{
    static const QRegularExpression pattern(QStringLiteral("^\\s*select\\s+\\*\\s+from\\s+win32_operatingsystem\\s*$"),
        QRegularExpression::CaseInsensitiveOption);
    return pattern.match(query).hasMatch();
}

QString localPrettyName()
{
    for (const char* path : { "/etc/os-release", "/usr/lib/os-release" }) {
        QFile file(QString::fromLatin1(path));
        if (file.open(QIODevice::ReadOnly))
            return prettyNameFromOsRelease(file.read(qint64(64) * 1024));
    }
    return prettyNameFromOsRelease({});
}

QString unquoted(QByteArrayView value)
{
    QByteArray text;
    char quote = 0;
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front()) {
        quote = value.front();
        value = value.sliced(1, value.size() - 2);
    }
    for (qsizetype i = 0; i < value.size(); ++i) {
        // Single quotes keep everything; elsewhere a backslash takes the next character.
        if (quote != '\'' && value[i] == '\\' && i + 1 < value.size())
            ++i;
        text.append(value[i]);
    }
    return QString::fromUtf8(text);
}

} // namespace

void SWbemSecurity::setAuthenticationLevel(int level)
{
    if (level < wbemAuthenticationLevelDefault || level > wbemAuthenticationLevelPktPrivacy)
        throw WmiError(hresult::InvalidParameter, QStringLiteral("認証レベル %1 は指定できません。").arg(level));
    authenticationLevel_ = level;
}

SWbemObjectSet SWbemServices::ExecQuery(const QString& query) const
{
    if (!isOperatingSystemQuery(query))
        throw WmiError(hresult::InvalidQuery, QStringLiteral("クエリが正しくありません: %1").arg(query.left(200)));
    return { SWbemObject { localPrettyName() } };
}

SWbemServices SWbemLocator::ConnectServer(
    const QString& server, const QString& nameSpace, const QString& /*user*/, const QString& /*password*/) const
{
    askedFor().append(server);
    if (!isLocalMachine(server))
        throw WmiError(hresult::RpcServerUnavailable,
            QStringLiteral("RPC サーバーを利用できません: %1 (このコンピューター以外には接続しません)")
                .arg(server.left(200)));
    QString normalized = nameSpace;
    normalized.replace(u'/', u'\\');
    if (normalized.compare(QLatin1String("root\\cimv2"), Qt::CaseInsensitive) != 0)
        throw WmiError(
            hresult::InvalidNamespace, QStringLiteral("名前空間が正しくありません: %1").arg(nameSpace.left(200)));
    return SWbemServices();
}

QStringList serversAskedFor()
{
    return askedFor();
}

void clearServersAskedFor()
{
    askedFor().clear();
}

bool isLocalMachine(const QString& server)
{
    if (server.isEmpty() || server == u"." || server.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0)
        return true;
    if (isLoopbackAddress(server))
        return true;
    const QString host = hostName();
    if (host.isEmpty())
        return false;
    const QString shortHost = host.section(u'.', 0, 0);
    return server.compare(host, Qt::CaseInsensitive) == 0 || server.compare(shortHost, Qt::CaseInsensitive) == 0;
}

QString prettyNameFromOsRelease(QByteArrayView content)
{
    // The file is shell assignments: a later one wins.
    QString prettyName;
    for (QByteArrayView line : QByteArray(content.data(), content.size()).split('\n')) {
        line = line.trimmed();
        if (line.startsWith("PRETTY_NAME="))
            prettyName = unquoted(line.sliced(qsizetype(sizeof "PRETTY_NAME=") - 1));
    }
    return prettyName.isEmpty() ? QStringLiteral("Linux") : prettyName;
}

} // namespace platform::wmi
