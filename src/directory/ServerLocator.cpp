#include "directory/ServerLocator.h"

#include "directory/LdapHandles.h"
#include "platform/ThisMachine.h"

#include <QRegularExpression>
#include <QStringList>

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
bool uriIsOnThisMachine(const QString& uri)
{
    LDAPURLDesc* raw = nullptr;
    if (ldap_url_parse(uri.toUtf8().constData(), &raw) != LDAP_URL_SUCCESS || !raw)
        return false;
    const ldap::UrlDescPtr url(raw);
    const QByteArray scheme = QByteArray(url->lud_scheme ? url->lud_scheme : "").toLower();
    if (scheme == "ldapi")
        return true;
    if (scheme != "ldap" && scheme != "ldaps")
        return false;
    return platform::resolvesToThisMachineOnly(QByteArray(url->lud_host));
}
} // namespace

QString urisOnThisMachine(const QString& uris)
{
    QStringList local;
    static const QRegularExpression separators(QStringLiteral("[\\s,]+"));
    for (const QString& uri : uris.split(separators, Qt::SkipEmptyParts)) {
        if (uriIsOnThisMachine(uri))
            local.append(uri);
    }
    return local.join(u' ');
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
