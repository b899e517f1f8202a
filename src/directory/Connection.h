#pragma once

// Internal to src/directory: one libldap session, opened and bound. The searches over it are in
// Search.h; they wait for the answers through MessageLoop.h.

#include "directory/ConnectionOptions.h"
#include "directory/DirectoryError.h"
#include "directory/LdapHandles.h"

#include <QString>
#include <memory>
#include <optional>
#include <vector>

namespace directory {

struct CheckedServer;

// Where a failure was found. With its result code it decides whether the session ends.
enum class FailedIn {
    // Connecting, TLS or the bind: the error names the servers tried, or what the bind lacked; the
    // session is never handed out.
    Opening,
    // Sending a request, its result, reading an entry: the session ends when the server is gone.
    Request,
    // libldap's wait for the answer (a lost or reset connection, a notice of disconnection, no
    // answer in time): the session ends, since what it still owes is unknown.
    Wait,
    // What the server sent passed a bound of the program, which the diagnostic names: the session
    // ends, and nothing more of it is read or queued.
    Bound,
    // An answer that came whole but breaks the protocol (an unreadable control, a paging that
    // never ends), which the diagnostic names: the session stays, the next request may do well.
    Answer,
};

// A failed call's result code and the words that came with it: the server's or libldap's, or
// for FailedIn::Bound the program's own.
struct Failure {
    int code = LDAP_OTHER;
    QString diagnostic;
};

class Connection {
public:
    // Bytes read from the socket at once.
    static constexpr int readAheadBytes = 64 * 1024;
    // The largest message taken from a server: one entry, whole, far above what a directory sends
    // (docs/reliability.md). libldap refuses a longer one before it allocates it.
    static constexpr int maxMessageBytes = 16 * 1024 * 1024;

    // A simple bind's name and password. Without them a session binds with SASL as the user who
    // runs the program: the mechanism from libldap's configuration (SASL_MECH), else EXTERNAL on
    // ldapi:// and GSSAPI elsewhere.
    struct Credentials {
        QString user;
        QString password;
    };

    // A session to `uri` (a list libldap tries in turn), bound. With `checked` (servers checked
    // to be on this machine, serversOnThisMachine; `uri` is then their list) each server is tried
    // only at the addresses its check found; its URI keeps the name, which the TLS certificate and
    // the Kerberos service are checked against.
    static std::shared_ptr<Connection> open(const QString& uri, const std::vector<CheckedServer>& checked,
        const std::optional<Credentials>& credentials, const ConnectionOptions& options);
    // Over a session already connected (the one that answered the DC locator's ping), bound.
    // `uri` names the server: its host is the Kerberos service's.
    static std::shared_ptr<Connection> openOnSession(ldap::LdapPtr session, const QString& uri,
        const std::optional<Credentials>& credentials, const ConnectionOptions& options);
    // Over a socket already connected to a server (tests and fuzzers give one end of a socket
    // pair); takes the descriptor over, also on failure. A simple bind with `user` and
    // `password`, or as the current user when `user` is empty. `uri` names the server in errors.
    static std::shared_ptr<Connection> openOnSocket(
        int fd, const QString& uri, const QString& user, const QString& password, const ConnectionOptions& options);

    const QString& uri() const { return uri_; }
    const ConnectionOptions& options() const { return options_; }
    // Whether it went only to checked addresses.
    bool onCheckedAddresses() const { return checked_; }
    // The waits and page size from now on, also of a session already bound.
    void setOptions(const ConnectionOptions& options);
    // False once the server has closed the socket or a failure ended the session.
    bool isAlive() const;

    // For the searches: the session's handle, and its failures.
    LDAP* handle() const { return ld_.get(); }
    // What libldap recorded for the session's last call: its code (`returned`, the call's own,
    // when it recorded none) and its diagnostic.
    Failure lastFailure(int returned) const;
    // The one way an error leaves the session: throws the error of `failure`, found `where`; a
    // failure that ends the session leaves it never used again.
    [[noreturn]] void fail(FailedIn where, const Failure& failure);

private:
    Connection(QString uri, const ConnectionOptions& options);
    // Connects to `uri` by name, or with `checked` only to their addresses.
    void connect(const std::vector<CheckedServer>& checked);
    // A session libldap connects to `uri` itself; the result of the connect.
    int connectByName(const QString& uri);
    // A session to one checked server: an ldapi:// one as libldap connects it, any other on a
    // socket connected to one of its addresses, with TLS begun as its URI asks; the result code.
    int connectChecked(const CheckedServer& server);
    // Takes the connected session over.
    void adopt(ldap::LdapPtr session);
    void applyTimeouts();
    void bind(const std::optional<Credentials>& credentials);
    void bindAsCurrentUser();
    void bindWithPassword(const Credentials& credentials);
    void readAhead();
    DirectoryError errorOf(FailedIn where, const Failure& failure) const;

    QString uri_;
    ConnectionOptions options_;
    ldap::LdapPtr ld_;
    bool broken_ = false;
    bool checked_ = false;
    // Set by libldap when it begins a TLS session on this connection (ldaps:// or StartTLS).
    bool tlsStarted_ = false;
};

} // namespace directory
