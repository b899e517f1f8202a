#pragma once

#include "directory/AdsPath.h"

namespace directory {

// The LDAP URI (or space-separated list) that serves a path. A path that names its server gets
// that server, except a bare name equal to the domain of libldap's configured BASE: that one
// names the configured domain and gets the configured URI. A serverless path gets libldap's
// configured URI (ldap.conf URI, LDAPURI, ...), else the DNS SRV records _ldap._tcp of the
// domain its DC= components spell, else ldap://<domain>.
QString serverUriFor(const AdsPath& path);

} // namespace directory
