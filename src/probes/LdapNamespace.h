#pragma once

#include "directory/DirObject.h"

#include <QString>

namespace probes {

// ADS_AUTHENTICATION_ENUM: the one flag the probes pass to OpenDSObject.
constexpr int ADS_SECURE_AUTHENTICATION = 1;

// What binding the provider name "LDAP:" alone gives: the LDAP provider's namespace object,
// whose OpenDSObject binds a path with explicit credentials.
class LdapNamespace {
public:
    // Only "LDAP:" (letter case as written) is known; anything else fails with BadPathName.
    static LdapNamespace bind(const QString& providerName);

    // A simple bind as user with password, on a connection of its own (TLS as libldap's
    // configuration sets it up): what stands in for ADS_SECURE_AUTHENTICATION here, so flags
    // choose nothing. Children of the result are read on that connection.
    directory::DirObject OpenDSObject(
        const QString& path, const QString& user, const QString& password, int flags) const;

private:
    LdapNamespace() = default;
};

} // namespace probes
