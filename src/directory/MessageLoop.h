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
    // Of the DN, the attribute names and the values as sent: what holding the entry costs.
    qint64 bytes = 0;
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

// Takes the messages of every request outstanding on the session one at a time, in the order
// they come, until `done()`: libldap then holds nothing for a request nobody waits for, and the
// caller counts what it keeps. `onEntry` and `onResult` get each with its message id; the wait
// ends one answer time after the call.
void takeAnyAnswers(Connection& connection, const std::function<bool()>& done,
    const std::function<void(int msgid, LdapEntry&&)>& onEntry,
    const std::function<void(int msgid, SearchResult&&)>& onResult);

// The one check of a result: throws its error unless it is success.
void checkResult(Connection& connection, const SearchResult& result);

// A server that sent more than `what` allows: the session is never read again (so libldap queues
// nothing more of it) and the error says what came too much.
[[noreturn]] void refuseMore(Connection& connection, const QString& what);

} // namespace directory
