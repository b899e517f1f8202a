#pragma once

#include "SocketListener.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <mutex>
#include <vector>

// A Unix-socket relay in front of a slapd ldapi socket that keeps every byte the clients send:
// what the directory layer really puts on the wire, for tests of what reaches the server. It
// keeps the server's answers too, to record them.
// slapd sees the relay's peer credentials, which are this process's, so SASL EXTERNAL still
// binds as the reader. The relay runs on a thread of its own, because the program waits for
// the server's answers on the one thread it has.
class LdapRelay {
public:
    // One LDAP request as it was sent.
    struct Request {
        int connection = 0; // 0 for the first connection accepted, 1 for the next, ...
        int messageId = 0;
        int operation = 0; // the protocol op's tag: 0x60 bind, 0x63 search, 0x42 unbind, 0x77 extended, ...
        QByteArray dn; // bind: the name; search: the base object
        QByteArray mechanism; // SASL bind: the mechanism; empty for a simple bind
        QByteArray credentials; // bind: the simple password or the SASL credentials
        bool simpleBind = false;
    };

    LdapRelay() = default;
    ~LdapRelay() { listener.stop(); }
    Q_DISABLE_COPY_MOVE(LdapRelay)

    // Listens on listenPath and passes each connection on to upstreamPath. False on failure,
    // with the reason in lastError().
    bool start(const QString& listenPath, const QString& upstreamPath);
    // The same on a TCP address (IPv4 text) and a free port, for a server that is not a socket
    // file; the port is in port().
    bool startTcp(const QString& address, const QString& upstreamPath);
    quint16 port() const { return listener.port(); }
    QString uri() const { return listener.uri(); }
    QString lastError() const { return listener.lastError(); }

    // Every byte clients sent so far, connection after connection.
    QByteArray sent() const;
    // The requests in those bytes, decoded. A message that does not decode ends its connection's list.
    QList<Request> requests() const;
    // Connections accepted so far, those that found no server to relay to included.
    int connectionCount() const { return copyUnder(mutex, accepted); }
    // Connections still relayed: when a client has closed its own, all it sent is in sent().
    int openConnectionCount() const { return copyUnder(mutex, relaying); }
    // What the server sent back, one entry per connection (to record a real server's answers).
    QList<QByteArray> answers() const;
    // Forgets what was sent so far (connections stay open).
    void clear();

private:
    void run();

    QString upstreamPath;
    int accepted = 0;
    int relaying = 0;
    mutable std::mutex mutex;
    std::vector<QByteArray> fromClients; // one per accepted connection
    std::vector<QByteArray> fromServers;
    // Last: its thread stops before what it fills goes.
    SocketListener listener;
};

namespace QTest {
char* toString(const LdapRelay::Request& request);
}
