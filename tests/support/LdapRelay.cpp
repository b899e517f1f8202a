#include "LdapRelay.h"
#include "BerReader.h"
#include "SocketWrite.h"

#include <QFile>
#include <QUrl>

#include <arpa/inet.h>
#include <netinet/in.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

bool fillAddress(const QString& path, sockaddr_un& address)
{
    const QByteArray bytes = QFile::encodeName(path);
    if (bytes.size() >= qsizetype(sizeof(address.sun_path)))
        return false;
    std::memset(&address, 0, sizeof(address));
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, bytes.constData(), size_t(bytes.size()));
    return true;
}

int connectTo(const QString& path)
{
    sockaddr_un address {};
    if (!fillAddress(path, address))
        return -1;
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

QByteArray contentOf(const QByteArray& data, const BerTlv& element)
{
    return data.mid(element.start, element.length);
}

int integerOf(const QByteArray& data, const BerTlv& element)
{
    int value = 0;
    for (qsizetype i = element.start; i < element.end(); ++i)
        value = (value << 8) | static_cast<unsigned char>(data.at(i));
    return value;
}

bool decodeRequest(const QByteArray& data, const BerTlv& message, LdapRelay::Request& request)
{
    BerTlv id;
    BerTlv op;
    if (message.tag != 0x30 || !readTlv(data, message.start, message.end(), id) || id.tag != 0x02
        || !readTlv(data, id.end(), message.end(), op))
        return false;
    request.messageId = integerOf(data, id);
    request.operation = op.tag;
    if (op.tag == 0x60) {
        BerTlv version;
        BerTlv name;
        BerTlv authentication;
        if (!readTlv(data, op.start, op.end(), version) || !readTlv(data, version.end(), op.end(), name)
            || !readTlv(data, name.end(), op.end(), authentication))
            return false;
        request.dn = contentOf(data, name);
        if (authentication.tag == 0x80) {
            request.simpleBind = true;
            request.credentials = contentOf(data, authentication);
        } else if (authentication.tag == 0xA3) {
            BerTlv mechanism;
            if (!readTlv(data, authentication.start, authentication.end(), mechanism))
                return false;
            request.mechanism = contentOf(data, mechanism);
            BerTlv credentials;
            if (readTlv(data, mechanism.end(), authentication.end(), credentials))
                request.credentials = contentOf(data, credentials);
        }
    } else if (op.tag == 0x63) {
        BerTlv base;
        if (!readTlv(data, op.start, op.end(), base))
            return false;
        request.dn = contentOf(data, base);
    }
    return true;
}

} // namespace

LdapRelay::~LdapRelay()
{
    listener.stop();
}

bool LdapRelay::start(const QString& listen, const QString& upstream)
{
    upstreamPath = upstream;
    if (!listener.listenUnix(listen))
        return false;
    listener.run([this] { run(); });
    return true;
}

bool LdapRelay::startTcp(const QString& address, const QString& upstream)
{
    upstreamPath = upstream;
    if (!listener.listenTcp(address))
        return false;
    listener.run([this] { run(); });
    return true;
}

QString LdapRelay::uri() const
{
    return QStringLiteral("ldapi://") + QString::fromLatin1(QUrl::toPercentEncoding(listener.path()));
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
            const int server = connectTo(upstreamPath);
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
    std::vector<QByteArray> connections;
    {
        std::lock_guard lock(mutex);
        connections = fromClients;
    }
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

int LdapRelay::connectionCount() const
{
    std::lock_guard lock(mutex);
    return accepted;
}

int LdapRelay::openConnectionCount() const
{
    std::lock_guard lock(mutex);
    return relaying;
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
