#include "directory/ServerLocator.h"

#include "directory/LdapHandles.h"
#include "platform/ThisMachine.h"

#include <QRegularExpression>
#include <QStringList>
#include <optional>

namespace directory {

namespace {
// What libldap reports when nothing configured a URI: not a choice anybody made.
const QString builtInDefaultUri = QStringLiteral("ldap://localhost:389/??base");

QString configuredUri()
{
    char* raw = nullptr;
    if (ldap_get_option(nullptr, LDAP_OPT_URI, &raw) != LDAP_OPT_SUCCESS || !raw)
        return {};
    ldap::CharPtr owner(raw);
    const QString uri = QString::fromUtf8(raw);
    return uri == builtInDefaultUri ? QString() : uri;
}

QString configuredBase()
{
    char* raw = nullptr;
    if (ldap_get_option(nullptr, LDAP_OPT_DEFBASE, &raw) != LDAP_OPT_SUCCESS || !raw)
        return {};
    ldap::CharPtr owner(raw);
    return QString::fromUtf8(raw);
}

QString domainOf(const QString& dn)
{
    char* raw = nullptr;
    if (ldap_dn2domain(dn.toUtf8().constData(), &raw) != 0 || !raw)
        return {};
    ldap::CharPtr owner(raw);
    return QString::fromUtf8(raw);
}

QString srvHostsOf(const QString& domain)
{
    char* raw = nullptr;
    if (ldap_domain2hostlist(domain.toUtf8().constData(), &raw) != LDAP_SUCCESS || !raw)
        return {};
    ldap::CharPtr owner(raw);
    QStringList uris;
    for (const QString& host : QString::fromUtf8(raw).split(u' ', Qt::SkipEmptyParts))
        uris.append(QStringLiteral("ldap://") + host);
    return uris.join(u' ');
}

QString configuredDomainUri(const QString& server)
{
    // Only a bare name can be a domain: a port or an IPv6 bracket makes it a host.
    if (server.contains(u':') || server.contains(u'['))
        return {};
    const QString base = configuredBase();
    if (base.isEmpty())
        return {};
    const QString domain = domainOf(base);
    if (domain.isEmpty() || domain.compare(server, Qt::CaseInsensitive) != 0)
        return {};
    return configuredUri();
}
} // namespace

namespace {
template <class SrvLookup> QString locate(const AdsPath& path, SrvLookup&& srvHosts)
{
    if (!path.isServerless()) {
        // "LDAP://corp.example" may name a domain rather than a host. The domain whose DN
        // libldap's BASE is goes where serverless paths go: the configured URI.
        const QString domainUri = configuredDomainUri(path.server());
        return domainUri.isEmpty() ? QStringLiteral("ldap://") + path.server() : domainUri;
    }
    QString configured = configuredUri();
    if (!configured.isEmpty())
        return configured;
    const QString domain = domainOf(path.dn());
    if (domain.isEmpty())
        return builtInDefaultUri;
    const QString fromDns = srvHosts(domain);
    return fromDns.isEmpty() ? QStringLiteral("ldap://") + domain : fromDns;
}
} // namespace

QString serverUriFor(const AdsPath& path)
{
    return locate(path, srvHostsOf);
}

QString domainToLocate(const AdsPath& path)
{
    if (!path.isServerless() || !configuredUri().isEmpty())
        return {};
    return domainOf(path.dn()).toLower();
}

namespace {
std::optional<CheckedServer> checkedServer(const QString& uri)
{
    LDAPURLDesc* raw = nullptr;
    if (ldap_url_parse(uri.toUtf8().constData(), &raw) != LDAP_URL_SUCCESS || !raw)
        return {};
    const ldap::UrlDescPtr url(raw);
    const QByteArray scheme = QByteArray(url->lud_scheme ? url->lud_scheme : "").toLower();
    if (scheme == "ldapi")
        return CheckedServer { uri, {} };
    if (scheme != "ldap" && scheme != "ldaps")
        return {};
    std::vector<platform::SocketAddress> addresses
        = platform::loopbackAddressesOf(QByteArray(url->lud_host), url->lud_port);
    if (addresses.empty())
        return {};
    return CheckedServer { uri, std::move(addresses) };
}
} // namespace

std::vector<CheckedServer> serversOnThisMachine(const QString& uris)
{
    std::vector<CheckedServer> local;
    static const QRegularExpression separators(QStringLiteral("[\\s,]+"));
    for (const QString& uri : uris.split(separators, Qt::SkipEmptyParts)) {
        if (std::optional<CheckedServer> server = checkedServer(uri))
            local.push_back(std::move(*server));
    }
    return local;
}

QString urisOf(const std::vector<CheckedServer>& servers)
{
    QStringList uris;
    for (const CheckedServer& server : servers)
        uris.append(server.uri);
    return uris.join(u' ');
}

QString urisOnThisMachine(const QString& uris)
{
    return urisOf(serversOnThisMachine(uris));
}

QString ServerUris::uriFor(const AdsPath& path)
{
    return locate(path, [this](const QString& domain) {
        auto it = srvHostsByDomain_.constFind(domain);
        if (it == srvHostsByDomain_.constEnd())
            it = srvHostsByDomain_.insert(domain, srvHostsOf(domain));
        return *it;
    });
}

} // namespace directory
