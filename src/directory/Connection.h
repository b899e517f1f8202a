#pragma once

// Internal to src/directory: one libldap session, opened and bound, with the search primitives
// the directory operations are built from.

#include "directory/DirObject.h"
#include "directory/DirectoryError.h"
#include "directory/LdapHandles.h"

#include <QStringList>
#include <ctime>
#include <functional>
#include <memory>
#include <vector>

namespace directory {

struct LdapEntry {
    QString dn;
    DirObject::Attributes attributes;
};

class Connection {
public:
    // Waits at most this long for the server to accept a connection, and for each answer.
    static constexpr int networkTimeoutSeconds = 10;
    static constexpr int answerTimeoutSeconds = 30;
    // Only for tests of a server that never answers: shorter waits, in seconds (0 restores the
    // defaults above). The program never calls it.
    static void setTimeoutsForTesting(int networkSeconds, int answerSeconds);
    static constexpr int pageSize = 1000;
    // Only for the fuzzer's recorded sessions: pages of `size` entries (0 restores pageSize), so
    // that a small listing takes several pages and cookies.
    static void setPageSizeForTesting(int size);
    // Bytes read from the socket at once (a page of a listing is about 150 KB).
    static constexpr int readAheadBytes = 64 * 1024;
    // The largest message taken from a server: one entry, whole. Active Directory hands out at
    // most 1,500 values of an attribute at a time (ranges), so its entries stay far below; a
    // slapd group of 100,000 members is about 7 MB. libldap refuses a longer message before it
    // allocates it, so a hostile length costs nothing.
    static constexpr int maxMessageBytes = 16 * 1024 * 1024;
    // Pages a listing may take: 10 million objects at 1,000 a page. A server whose cookie never
    // ends gets an error here instead of a loop without end.
    static constexpr int maxPages = 10000;

    // A SASL bind as the user who runs the program: the mechanism from libldap's configuration
    // (SASL_MECH), else EXTERNAL on ldapi:// and GSSAPI elsewhere. No name, no password.
    static std::shared_ptr<Connection> openAsCurrentUser(const QString& uri);
    // A simple bind with explicit credentials, on a connection of its own.
    static std::shared_ptr<Connection> openWithPassword(
        const QString& uri, const QString& user, const QString& password);
    // Over a socket already connected to a server (tests and fuzzers give one end of a socket
    // pair); takes the descriptor over, also on failure. A simple bind with `user` and
    // `password`, or as the current user when `user` is empty. `uri` names the server in errors.
    static std::shared_ptr<Connection> openOnSocket(
        int fd, const QString& uri, const QString& user, const QString& password);

    const QString& uri() const { return uri_; }
    // False once the server has closed the socket or an operation found the server gone.
    bool isAlive() const;

    // Base-scope read of one entry; throws (noSuchObject, ...) when it cannot be read.
    LdapEntry readEntry(const QString& dn, const QStringList& attributes);
    // One-level paged search; `onPage` gets each page's entries. Search references are skipped.
    void searchChildren(const QString& base, const QString& filter, const QStringList& attributes,
        const std::function<void(std::vector<LdapEntry>&)>& onPage);
    // The same, over the whole subtree under `base`.
    void searchSubtree(const QString& base, const QString& filter, const QStringList& attributes,
        const std::function<void(std::vector<LdapEntry>&)>& onPage);

    // Pipelined base reads: sends up to `window` requests before waiting for the first answer.
    // `onResult` gets, in the order of `dns`, the entry or the error of each read.
    void readEntries(const QStringList& dns, const QStringList& attributes, int window,
        const std::function<void(qsizetype index, const LdapEntry* entry, const DirectoryError* error)>& onResult);

private:
    explicit Connection(QString uri);
    void open();
    void configure();
    void bindAsCurrentUser();
    void bindWithPassword(const QString& user, const QString& password);
    // `returned` is the failed call's code, used when the session recorded none.
    [[noreturn]] void failBind(int returned);
    void readAhead();
    int startSearch(const QString& base, int scope, const QString& filter, const QStringList& attributes,
        LDAPControl** serverControls);
    void searchPaged(const QString& base, int scope, const QString& filter, const QStringList& attributes,
        const std::function<void(std::vector<LdapEntry>&)>& onPage);
    // Waits for the answer to msgid until `deadline` (a CLOCK_MONOTONIC time); libldap's own
    // timeout starts again at every call, and a page's entries come one call at a time.
    ldap::MessagePtr waitFor(int msgid, int all, const timespec& deadline);
    static timespec answerDeadline();
    [[noreturn]] void failWith(int resultCode, const QString& diagnostic = {});
    [[noreturn]] void failFromSession();
    LdapEntry entryFrom(LDAPMessage* message);
    // The result message's code and diagnostic; throws unless it is success.
    void checkResult(LDAPMessage* message, LDAPControl*** serverControls = nullptr);

    QString uri_;
    ldap::LdapPtr ld_;
    bool broken_ = false;
    // Set by libldap when it begins a TLS session on this connection (ldaps:// or StartTLS).
    bool tlsStarted_ = false;
};

} // namespace directory
