#pragma once

#include "BerReader.h"
#include "SocketListener.h"

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>
#include <atomic>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

// LDAP messages as a server writes them, BER-encoded with lber: the pieces of a scripted server's
// answers, whole or cut, right or wrong.
namespace ldapmessage {

using Attribute = QPair<QByteArray, QList<QByteArray>>;

QByteArray bindResponse(int id, int code = 0);
QByteArray searchEntry(int id, const QByteArray& dn, const QList<Attribute>& attributes);
QByteArray searchReference(int id, const QList<QByteArray>& uris);
// A search result; with `paged`, a paged-results response control carrying `cookie`.
QByteArray searchDone(
    int id, int code = 0, bool paged = false, const QByteArray& cookie = {}, const QList<QByteArray>& referrals = {});
// A search result with one control of `oid`; no value at all when `value` is null.
QByteArray searchDoneWithControl(int id, const char* oid, const QByteArray* value);
// The unsolicited notice of disconnection (message id 0).
QByteArray noticeOfDisconnection();

} // namespace ldapmessage

// A fake LDAP server on a Unix socket (ldapi://), on a thread of its own: each request that
// arrives is handed to the test's script, which answers through the Session as it likes, one
// byte at a time, half a message, or not at all. SASL EXTERNAL binds only need a bind response.
class ScriptedLdapServer {
public:
    struct Request : LdapRequestParts {
        int connection = 0;
        QByteArray bytes; // the whole message
        // True when the search's attribute list or filter holds `text` (as the client wrote it).
        bool mentions(const QByteArray& text) const { return bytes.contains(text); }
        // The cookie of the request's paged-results control; empty on the first page.
        QByteArray pageCookie() const;
    };

    class Session {
    public:
        void send(const QByteArray& bytes);
        // Byte by byte, `intervalMs` apart (stops early when the client has gone).
        void trickle(const QByteArray& bytes, int intervalMs);
        void close();
        // Closes with a TCP reset (SO_LINGER 0): the client's next read fails with ECONNRESET.
        void reset();
        bool closed() const { return fd < 0; }
        int connection = 0;

    private:
        friend class ScriptedLdapServer;
        int fd = -1;
        const std::atomic<bool>* stopping = nullptr;
    };

    using Script = std::function<void(const Request&, Session&)>;

    ScriptedLdapServer() = default;
    ~ScriptedLdapServer();
    Q_DISABLE_COPY_MOVE(ScriptedLdapServer)

    // Listens on socketPath; false with lastError() on failure. Binds get success; the script
    // gets every other request, unbinds and abandons too.
    bool start(const QString& socketPath, Script script);
    // The same on 127.0.0.1, a free port (for resets, which only TCP has).
    bool startTcp(Script script);
    void stop();
    QString uri() const { return listener.uri(); }
    QString lastError() const { return listener.lastError(); }

    // Connections accepted so far, and every request decoded on them.
    int connectionCount() const { return copyUnder(mutex, connections); }
    QList<Request> requests() const { return copyUnder(mutex, received); }

private:
    void run();

    Script script;
    std::atomic<bool> stopping { false };
    mutable std::mutex mutex;
    QList<Request> received;
    int connections = 0;
    // Last: its thread stops before what it fills goes.
    SocketListener listener;
};

// A loopback TCP listener that only counts the connections that reach it, each closed at once:
// the address a referral names, to prove nothing is sent there (and that a client that goes there
// fails at once instead of waiting for an answer).
class CountingListener {
public:
    // On `address` and `port`, by default 127.0.0.1 and a free port.
    bool start(const QString& address = QStringLiteral("127.0.0.1"), quint16 port = 0);
    int port() const { return listener.port(); }
    int connectionCount() const { return accepted.load(); }

private:
    std::atomic<int> accepted { 0 };
    SocketListener listener;
};
