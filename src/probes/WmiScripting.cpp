#include "probes/WmiScripting.h"

#include "platform/ThisMachine.h"
#include "probes/ServersAskedFor.h"

#include <QFile>
#include <QRegularExpression>

namespace probes::wmi {

namespace {

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
    noteServerAskedFor(StandIn::Wmi, server);
    // "" and "." are WMI's own names for the local machine.
    if (!server.isEmpty() && server != u"."
        && !platform::namesThisMachine(server, platform::AddressForms::BracketedAndMapped))
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

} // namespace probes::wmi
