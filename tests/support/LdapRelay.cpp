#include "LdapRelay.h"
#include "BerReader.h"
#include "SocketWrite.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

bool decodeRequest(const QByteArray& data, const BerTlv& message, LdapRelay::Request& request)
{
    LdapRequestParts parts;
    if (!readLdapRequest(data, message, parts))
        return false;
    request.messageId = parts.id;
    request.operation = parts.operation;
    request.dn = parts.dn;
    const BerTlv& authentication = parts.authentication;
    BerTlv mechanism;
    BerTlv credentials;
    if (authentication.tag == 0x80) {
        request.simpleBind = true;
        request.credentials = data.mid(authentication.start, authentication.length);
    } else if (authentication.tag == 0xA3) {
        if (!readTlv(data, authentication.start, authentication.end(), mechanism))
            return false;
        request.mechanism = data.mid(mechanism.start, mechanism.length);
        if (readTlv(data, mechanism.end(), authentication.end(), credentials))
            request.credentials = data.mid(credentials.start, credentials.length);
    }
    return true;
}

} // namespace

bool LdapRelay::start(const QString& listen, const QString& upstream)
{
    upstreamPath = upstream;
    return listener.listenUnix(listen) && listener.run([this] { run(); });
}

bool LdapRelay::startTcp(const QString& address, const QString& upstream)
{
    upstreamPath = upstream;
    return listener.listenTcp(address) && listener.run([this] { run(); });
}

void LdapRelay::run()
{
    struct Pair {
        int client;
        int server;
        size_t index;
    };
    std::vector<Pair> pairs;
    for (;;) {
        std::vector<pollfd> watched = listener.watchList();
        for (const Pair& pair : pairs) {
            watched.push_back({ pair.client, POLLIN, 0 });
            watched.push_back({ pair.server, POLLIN, 0 });
        }
        if (!SocketListener::wait(watched))
            break;
        // A pair accepted below was not polled yet: it has no entries in watched.
        const size_t polled = pairs.size();
        const int client = listener.accept(watched);
        if (client >= 0) {
            {
                std::lock_guard lock(mutex);
                ++accepted;
            }
            const int server = SocketListener::connectUnix(upstreamPath);
            if (server < 0) {
                // Nothing to relay to: the client sees a closed connection, as with a dead server.
                ::close(client);
            } else {
                std::lock_guard lock(mutex);
                fromClients.emplace_back();
                fromServers.emplace_back();
                pairs.push_back({ client, server, fromClients.size() - 1 });
            }
        }
        std::vector<Pair> open;
        for (size_t i = 0; i < pairs.size(); ++i) {
            const Pair& pair = pairs[i];
            const short clientEvents = i < polled ? watched[2 + 2 * i].revents : short(0);
            const short serverEvents = i < polled ? watched[3 + 2 * i].revents : short(0);
            bool alive = true;
            char buffer[65536];
            if (clientEvents) {
                const ssize_t got = ::recv(pair.client, buffer, sizeof(buffer), 0);
                if (got > 0) {
                    {
                        std::lock_guard lock(mutex);
                        fromClients[pair.index].append(buffer, got);
                    }
                    alive = writeAll(pair.server, buffer, got);
                } else {
                    alive = false;
                }
            }
            if (alive && serverEvents) {
                const ssize_t got = ::recv(pair.server, buffer, sizeof(buffer), 0);
                if (got > 0) {
                    std::lock_guard lock(mutex);
                    fromServers[pair.index].append(buffer, got);
                }
                alive = got > 0 && writeAll(pair.client, buffer, got);
            }
            if (alive) {
                open.push_back(pair);
            } else {
                ::close(pair.client);
                ::close(pair.server);
            }
        }
        pairs = std::move(open);
        std::lock_guard lock(mutex);
        relaying = int(pairs.size());
    }
    for (const Pair& pair : pairs) {
        ::close(pair.client);
        ::close(pair.server);
    }
}

QByteArray LdapRelay::sent() const
{
    std::lock_guard lock(mutex);
    QByteArray all;
    for (const QByteArray& bytes : fromClients)
        all += bytes;
    return all;
}

QList<LdapRelay::Request> LdapRelay::requests() const
{
    const std::vector<QByteArray> connections = copyUnder(mutex, fromClients);
    QList<Request> result;
    for (size_t c = 0; c < connections.size(); ++c) {
        const QByteArray& data = connections[c];
        qsizetype at = 0;
        BerTlv message;
        while (readTlv(data, at, data.size(), message)) {
            Request request;
            request.connection = int(c);
            if (!decodeRequest(data, message, request))
                break;
            result.append(request);
            at = message.end();
        }
    }
    return result;
}

QList<QByteArray> LdapRelay::answers() const
{
    std::lock_guard lock(mutex);
    return QList<QByteArray>(fromServers.begin(), fromServers.end());
}

void LdapRelay::clear()
{
    std::lock_guard lock(mutex);
    for (QByteArray& bytes : fromClients)
        bytes.clear();
    for (QByteArray& bytes : fromServers)
        bytes.clear();
}

char* QTest::toString(const LdapRelay::Request& request)
{
    const QByteArray text = QByteArray("[conn ") + QByteArray::number(request.connection) + " id "
        + QByteArray::number(request.messageId) + " op 0x" + QByteArray::number(request.operation, 16) + " dn \""
        + request.dn + "\" mech \"" + request.mechanism + "\"]";
    return qstrdup(text.constData());
}
