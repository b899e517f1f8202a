#pragma once

#include "directory/AdsPath.h"

#include <QHash>

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

// The URIs of a list (space- or comma-separated, as serverUriFor gives it) that lead to a server on
// this machine: ldapi:// sockets, and ldap:// or ldaps:// hosts whose every address is a loopback
// one (127.0.0.0/8, ::1). Names are resolved here, before anything connects; a name that does not
// resolve, or an unparsable URI, is not on this machine. Empty when no URI is.
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
