#pragma once

// Internal to src/directory: the one parse of a DN text, by libldap.

#include "directory/LdapHandles.h"

#include <QString>
#include <optional>

namespace directory::dn {

// The DN as libldap parses LDAPv3 text: nothing when the text is no DN (or holds a NUL, which
// the C string would cut short); a null pointer for the empty DN.
std::optional<ldap::DnPtr> parse(const QString& dn);

} // namespace directory::dn
