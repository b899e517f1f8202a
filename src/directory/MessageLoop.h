#pragma once

// Internal to src/directory: the answer to one search, message by message, taken as OpenLDAP's
// ldapsearch takes it (dosearch()): ldap_result until the result, one switch on the type of each
// message, the result parsed once.

#include "directory/DirObject.h"
#include "directory/LdapHandles.h"

#include <QStringList>
#include <functional>

namespace directory {

class Connection;

struct LdapEntry {
    QString dn;
    DirObject::Attributes attributes;
};

// A search's result message.
struct SearchResult {
    int code = LDAP_OTHER;
    QString diagnostic;
    ldap::ControlsPtr controls;
    // False when libldap could not read the message: `code` is then its own failure, of the
    // session rather than of the request.
    bool parsed = true;

    bool succeeded() const { return code == LDAP_SUCCESS; }
};

// Sends a search; its message id.
int sendSearch(Connection& connection, const QString& base, int scope, const QString& filter,
    const QStringList& attributes, LDAPControl** serverControls = nullptr);

// Takes the answer to `msgid` up to its result, the whole answer within one answer time (a
// server that trickles entries cannot stretch it): `onEntry` gets each entry as it comes, search
// references are skipped. Throws when the wait fails or an entry cannot be decoded; the result is
// returned whatever it says.
SearchResult takeAnswer(Connection& connection, int msgid, const std::function<void(LdapEntry&&)>& onEntry);

// The one check of a result: throws its error unless it is success.
void checkResult(Connection& connection, const SearchResult& result);

} // namespace directory
