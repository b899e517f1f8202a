#pragma once

// Internal to src/directory: one libldap session, opened and bound. The searches over it are in
// Search.h; they wait for the answers through MessageLoop.h.

#include "directory/ConnectionOptions.h"
#include "directory/LdapHandles.h"

#include <QString>
#include <memory>
#include <vector>

namespace directory {

struct CheckedServer;

class Connection {
public:
    // Bytes read from the socket at once (a page of a listing is about 150 KB).
    static constexpr int readAheadBytes = 64 * 1024;
    // The largest message taken from a server: one entry, whole. Active Directory hands out at
    // most 1,500 values of an attribute at a time (ranges), so its entries stay far below; a
    // slapd group of 100,000 members is about 7 MB. libldap refuses a longer message before it
    // allocates it, so a hostile length costs nothing.
    static constexpr int maxMessageBytes = 16 * 1024 * 1024;

    // A SASL bind as the user who runs the program: the mechanism from libldap's configuration
    // (SASL_MECH), else EXTERNAL on ldapi:// and GSSAPI elsewhere. No name, no password.
    static std::shared_ptr<Connection> openAsCurrentUser(const QString& uri, const ConnectionOptions& options);
    // A simple bind with explicit credentials, on a connection of its own.
    static std::shared_ptr<Connection> openWithPassword(
        const QString& uri, const QString& user, const QString& password, const ConnectionOptions& options);
    // The same to servers checked to be on this machine (serversOnThisMachine), tried in turn: each
    // only at the addresses its check found. The URI keeps the name, which the TLS certificate and
    // the Kerberos service are checked against.
    static std::shared_ptr<Connection> openAsCurrentUser(
        const std::vector<CheckedServer>& servers, const ConnectionOptions& options);
    static std::shared_ptr<Connection> openWithPassword(const std::vector<CheckedServer>& servers, const QString& user,
        const QString& password, const ConnectionOptions& options);
    // Over a socket already connected to a server (tests and fuzzers give one end of a socket
    // pair); takes the descriptor over, also on failure. A simple bind with `user` and
    // `password`, or as the current user when `user` is empty. `uri` names the server in errors.
    static std::shared_ptr<Connection> openOnSocket(
        int fd, const QString& uri, const QString& user, const QString& password, const ConnectionOptions& options);

    // Over a session already connected (the one that answered the DC locator's ping), bound as
    // the current user. `uri` names the server: its host is the Kerberos service's.
    static std::shared_ptr<Connection> openOnSession(
        ldap::LdapPtr session, const QString& uri, const ConnectionOptions& options);

    const QString& uri() const { return uri_; }
    const ConnectionOptions& options() const { return options_; }
    // Whether it went only to checked addresses (the servers of openAsCurrentUser/openWithPassword).
    bool onCheckedAddresses() const { return checked_; }
    // The waits and page size from now on, also of a session already bound.
    void setOptions(const ConnectionOptions& options);
    // False once the server has closed the socket or an operation found the server gone.
    bool isAlive() const;

    // For the searches: the session's handle, and its failures.
    LDAP* handle() const { return ld_.get(); }
    // An operation found the session unusable: it is never used again.
    void markBroken() { broken_ = true; }
    // Throws the error of `resultCode`; a lost server marks the session broken.
    [[noreturn]] void failWith(int resultCode, const QString& diagnostic = {});
    // failWith with the code and diagnostic the session recorded for its last call.
    [[noreturn]] void failFromSession();

private:
    // The password of a simple bind; none: a bind as the current user.
    struct Credentials {
        QString user;
        QString password;
    };
    // Opens, to `checked` only when given, and binds.
    static std::shared_ptr<Connection> openBound(const QString& uri, const std::vector<CheckedServer>* checked,
        const Credentials* credentials, const ConnectionOptions& options);

    Connection(QString uri, const ConnectionOptions& options);
    void open();
    void openChecked(const std::vector<CheckedServer>& servers);
    // A session libldap connects to `uri` itself; the result of the connect.
    int connectByName(const QString& uri);
    // A session to one checked server: an ldapi:// one as libldap connects it, any other on a
    // socket connected to one of its addresses, with TLS begun as its URI asks; the result code.
    int connectChecked(const CheckedServer& server);
    // Takes a connected session over and binds on it.
    void adopt(ldap::LdapPtr session, const QString& user, const QString& password);
    void configure();
    void applyTimeouts();
    void bindAsCurrentUser();
    void bindWithPassword(const QString& user, const QString& password);
    // `returned` is the failed call's code, used when the session recorded none.
    [[noreturn]] void failBind(int returned);
    void readAhead();

    QString uri_;
    ConnectionOptions options_;
    ldap::LdapPtr ld_;
    bool broken_ = false;
    bool checked_ = false;
    // Set by libldap when it begins a TLS session on this connection (ldaps:// or StartTLS).
    bool tlsStarted_ = false;
};

} // namespace directory
