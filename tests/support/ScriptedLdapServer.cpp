#include "ScriptedLdapServer.h"
#include "BerReader.h"
#include "SocketWrite.h"

#include <QFile>
#include <QUrl>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <lber.h>
#include <ldap.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

namespace ldapmessage {

namespace {

struct BerOwner {
    BerElement* ber = ber_alloc_t(LBER_USE_DER);
    ~BerOwner() { ber_free(ber, 1); }
    QByteArray bytes() const
    {
        berval flat {};
        if (ber_flatten2(ber, &flat, 0) != 0)
            return {};
        return QByteArray(flat.bv_val, qsizetype(flat.bv_len));
    }
};

} // namespace

QByteArray bindResponse(int id, int code)
{
    BerOwner out;
    ber_printf(out.ber, "{it{eoo}}", id, LDAP_RES_BIND, code, "", ber_len_t(0), "", ber_len_t(0));
    return out.bytes();
}

QByteArray searchEntry(int id, const QByteArray& dn, const QList<Attribute>& attributes)
{
    BerOwner out;
    ber_printf(out.ber, "{it{o{", id, LDAP_RES_SEARCH_ENTRY, dn.constData(), ber_len_t(dn.size()));
    for (const Attribute& attribute : attributes) {
        ber_printf(out.ber, "{o[", attribute.first.constData(), ber_len_t(attribute.first.size()));
        for (const QByteArray& value : attribute.second)
            ber_printf(out.ber, "o", value.constData(), ber_len_t(value.size()));
        ber_printf(out.ber, "]}");
    }
    ber_printf(out.ber, "}}}");
    return out.bytes();
}

QByteArray searchReference(int id, const QList<QByteArray>& uris)
{
    BerOwner out;
    ber_printf(out.ber, "{it{", id, LDAP_RES_SEARCH_REFERENCE);
    for (const QByteArray& uri : uris)
        ber_printf(out.ber, "o", uri.constData(), ber_len_t(uri.size()));
    ber_printf(out.ber, "}}");
    return out.bytes();
}

QByteArray searchDone(int id, int code, bool paged, const QByteArray& cookie, const QList<QByteArray>& referrals)
{
    BerOwner out;
    ber_printf(out.ber, "{it{eoo", id, LDAP_RES_SEARCH_RESULT, code, "", ber_len_t(0), "", ber_len_t(0));
    if (!referrals.isEmpty()) {
        ber_printf(out.ber, "t{", ber_tag_t(LDAP_TAG_REFERRAL));
        for (const QByteArray& uri : referrals)
            ber_printf(out.ber, "o", uri.constData(), ber_len_t(uri.size()));
        ber_printf(out.ber, "}");
    }
    ber_printf(out.ber, "}");
    if (paged) {
        BerOwner value;
        ber_printf(value.ber, "{io}", 0, cookie.constData(), ber_len_t(cookie.size()));
        const QByteArray encoded = value.bytes();
        berval valueBerval { ber_len_t(encoded.size()), const_cast<char*>(encoded.constData()) };
        ber_printf(out.ber, "t{{sO}}", ber_tag_t(LDAP_TAG_CONTROLS), LDAP_CONTROL_PAGEDRESULTS, &valueBerval);
    }
    ber_printf(out.ber, "}");
    return out.bytes();
}

QByteArray searchDoneWithControl(int id, const char* oid, const QByteArray* value)
{
    BerOwner out;
    ber_printf(out.ber, "{it{eoo}t{{s", id, LDAP_RES_SEARCH_RESULT, 0, "", ber_len_t(0), "", ber_len_t(0),
        ber_tag_t(LDAP_TAG_CONTROLS), oid);
    if (value)
        ber_printf(out.ber, "o", value->constData(), ber_len_t(value->size()));
    ber_printf(out.ber, "}}}");
    return out.bytes();
}

QByteArray noticeOfDisconnection()
{
    BerOwner out;
    ber_printf(out.ber, "{it{eoots}}", 0, LDAP_RES_EXTENDED, LDAP_UNAVAILABLE, "", ber_len_t(0), "", ber_len_t(0),
        ber_tag_t(LDAP_TAG_EXOP_RES_OID), LDAP_NOTICE_OF_DISCONNECTION);
    return out.bytes();
}

} // namespace ldapmessage

namespace {

bool decode(const QByteArray& message, ScriptedLdapServer::Request& request)
{
    qsizetype start = 0;
    qsizetype length = 0;
    if (!readTlv(message, 0, message.size(), start, length))
        return false;
    const qsizetype end = start + length;
    qsizetype idStart = 0;
    qsizetype idLength = 0;
    if (!readTlv(message, start, end, idStart, idLength))
        return false;
    for (qsizetype i = idStart; i < idStart + idLength; ++i)
        request.id = (request.id << 8) | static_cast<unsigned char>(message.at(i));
    const qsizetype opAt = idStart + idLength;
    qsizetype opStart = 0;
    qsizetype opLength = 0;
    if (!readTlv(message, opAt, end, opStart, opLength))
        return false;
    request.operation = static_cast<unsigned char>(message.at(opAt));
    qsizetype first = 0;
    qsizetype firstLength = 0;
    if (request.operation == 0x63 && readTlv(message, opStart, opStart + opLength, first, firstLength)) {
        request.dn = message.mid(first, firstLength);
        qsizetype scope = 0;
        qsizetype scopeLength = 0;
        if (readTlv(message, first + firstLength, opStart + opLength, scope, scopeLength) && scopeLength == 1)
            request.scope = static_cast<unsigned char>(message.at(scope));
    }
    if (request.operation == 0x60) {
        qsizetype version = 0;
        qsizetype versionLength = 0;
        if (readTlv(message, opStart, opStart + opLength, version, versionLength)
            && readTlv(message, version + versionLength, opStart + opLength, first, firstLength))
            request.dn = message.mid(first, firstLength);
    }
    request.bytes = message;
    return true;
}

} // namespace

QByteArray ScriptedLdapServer::Request::pageCookie() const
{
    const qsizetype oid = bytes.indexOf(LDAP_CONTROL_PAGEDRESULTS);
    if (oid < 0)
        return {};
    qsizetype at = oid + qsizetype(std::strlen(LDAP_CONTROL_PAGEDRESULTS));
    qsizetype start = 0;
    qsizetype length = 0;
    if (at < bytes.size() && bytes.at(at) == 0x01) { // criticality
        if (!readTlv(bytes, at, bytes.size(), start, length))
            return {};
        at = start + length;
    }
    // OCTET STRING { SEQUENCE { INTEGER size, OCTET STRING cookie } }
    if (!readTlv(bytes, at, bytes.size(), start, length) || !readTlv(bytes, start, start + length, start, length))
        return {};
    qsizetype size = 0;
    qsizetype sizeLength = 0;
    if (!readTlv(bytes, start, start + length, size, sizeLength))
        return {};
    qsizetype cookie = 0;
    qsizetype cookieLength = 0;
    if (!readTlv(bytes, size + sizeLength, bytes.size(), cookie, cookieLength))
        return {};
    return bytes.mid(cookie, cookieLength);
}

void ScriptedLdapServer::Session::send(const QByteArray& bytes)
{
    if (fd >= 0 && !writeAll(fd, bytes.constData(), bytes.size()))
        close();
}

void ScriptedLdapServer::Session::trickle(const QByteArray& bytes, int intervalMs)
{
    for (const char byte : bytes) {
        if (fd < 0 || (stopping && stopping->load()))
            return;
        send(QByteArray(1, byte));
        std::this_thread::sleep_for(std::chrono::milliseconds(intervalMs));
    }
}

void ScriptedLdapServer::Session::reset()
{
    if (fd >= 0) {
        const linger abort { 1, 0 };
        ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &abort, sizeof(abort));
    }
    close();
}

void ScriptedLdapServer::Session::close()
{
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

ScriptedLdapServer::~ScriptedLdapServer()
{
    stop();
}

bool ScriptedLdapServer::start(const QString& socketPath, Script answer)
{
    path = socketPath;
    script = std::move(answer);
    if (!listener.listenUnix(path))
        return false;
    listener.run([this] { run(); });
    return true;
}

bool ScriptedLdapServer::startTcp(Script answer)
{
    script = std::move(answer);
    if (!listener.listenTcp(QStringLiteral("127.0.0.1")))
        return false;
    listener.run([this] { run(); });
    return true;
}

void ScriptedLdapServer::stop()
{
    if (listener.running())
        stopping = true;
    listener.stop();
}

QString ScriptedLdapServer::uri() const
{
    if (path.isEmpty())
        return QStringLiteral("ldap://127.0.0.1:%1").arg(listener.port());
    return QStringLiteral("ldapi://") + QString::fromLatin1(QUrl::toPercentEncoding(path));
}

int ScriptedLdapServer::connectionCount() const
{
    std::lock_guard lock(mutex);
    return connections;
}

QList<ScriptedLdapServer::Request> ScriptedLdapServer::requests() const
{
    std::lock_guard lock(mutex);
    return received;
}

void ScriptedLdapServer::run()
{
    struct Client {
        Session session;
        QByteArray pending;
    };
    std::vector<std::unique_ptr<Client>> clients;
    while (!stopping) {
        std::vector<pollfd> watched = listener.watchList();
        for (const auto& client : clients)
            watched.push_back({ client->session.fd, POLLIN, 0 });
        if (!SocketListener::wait(watched))
            break;
        const size_t polled = clients.size();
        const int fd = listener.accept(watched);
        if (fd >= 0) {
            auto client = std::make_unique<Client>();
            client->session.fd = fd;
            client->session.stopping = &stopping;
            std::lock_guard lock(mutex);
            client->session.connection = connections++;
            clients.push_back(std::move(client));
        }
        for (size_t i = 0; i < polled; ++i) {
            Client& client = *clients[i];
            if (!watched[2 + i].revents || client.session.closed())
                continue;
            char buffer[65536];
            const ssize_t got = ::recv(client.session.fd, buffer, sizeof(buffer), 0);
            if (got <= 0) {
                client.session.close();
                continue;
            }
            client.pending.append(buffer, got);
            qsizetype start = 0;
            qsizetype length = 0;
            while (!client.session.closed() && readTlv(client.pending, 0, client.pending.size(), start, length)) {
                const QByteArray message = client.pending.left(start + length);
                client.pending.remove(0, start + length);
                Request request;
                request.connection = client.session.connection;
                if (!decode(message, request))
                    continue;
                {
                    std::lock_guard lock(mutex);
                    received.append(request);
                }
                if (request.operation == 0x60)
                    client.session.send(ldapmessage::bindResponse(request.id));
                else if (script)
                    script(request, client.session);
            }
        }
        std::erase_if(clients, [](const auto& client) { return client->session.closed(); });
    }
    for (auto& client : clients)
        client->session.close();
}

bool CountingListener::start(const QString& address, quint16 port)
{
    if (!listener.listenTcp(address, port))
        return false;
    listener.run([this] {
        for (;;) {
            std::vector<pollfd> watched = listener.watchList();
            if (!SocketListener::wait(watched))
                break;
            const int fd = listener.accept(watched);
            if (fd >= 0) {
                ++accepted;
                ::close(fd);
            }
        }
    });
    return true;
}
