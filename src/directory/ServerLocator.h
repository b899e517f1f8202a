#pragma once

#include "directory/AdsPath.h"
#include "platform/ThisMachine.h"

#include <QHash>
#include <vector>

namespace directory {

// The LDAP URI (or space-separated list) that serves a path. A path that names its server gets
// that server, except a bare name equal to the domain of libldap's configured BASE: that one
// names the configured domain and gets the configured URI. A serverless path gets libldap's
// configured URI (ldap.conf URI, LDAPURI, ...), else the DNS SRV records _ldap._tcp of the
// domain its DC= components spell, else ldap://<domain>.
QString serverUriFor(const AdsPath& path);

// The domain whose DCs serve a serverless path when nothing configured a URI (the DC locator's
// job, DcLocator.h); empty for any other path.
QString domainToLocate(const AdsPath& path);

// A server on this machine, and for ldap:// and ldaps:// the loopback addresses (with the port)
// its host was found at: a connection to it goes to these only, its name never looked up again.
struct CheckedServer {
    QString uri;
    std::vector<platform::SocketAddress> addresses;
};

// The servers of a list (space- or comma-separated, as serverUriFor gives it) on this machine:
// ldapi:// sockets, and ldap:// or ldaps:// hosts whose every address is a loopback one
// (127.0.0.0/8, ::1). Each name is looked up once, here, before anything connects; a name that
// does not resolve, or an unparsable URI, is not on this machine. Empty when no server is.
std::vector<CheckedServer> serversOnThisMachine(const QString& uris);
// Their URIs, space-separated.
QString urisOf(const std::vector<CheckedServer>& servers);
QString urisOnThisMachine(const QString& uris);

// serverUriFor for the many paths of one operation (the members of a group): the DNS SRV
// records of each domain are asked for once, not once per path.
class ServerUris {
public:
    QString uriFor(const AdsPath& path);

private:
    QHash<QString, QString> srvHostsByDomain_;
};

} // namespace directory
