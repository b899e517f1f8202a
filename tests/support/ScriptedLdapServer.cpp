#include "ScriptedLdapServer.h"
#include "SocketWrite.h"

#include <chrono>
#include <cstring>
#include <lber.h>
#include <ldap.h>
#include <poll.h>
#include <sys/socket.h>
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

QByteArray ScriptedLdapServer::Request::pageCookie() const
{
    const qsizetype oid = bytes.indexOf(LDAP_CONTROL_PAGEDRESULTS);
    if (oid < 0)
        return {};
    qsizetype at = oid + qsizetype(std::strlen(LDAP_CONTROL_PAGEDRESULTS));
    BerTlv criticality;
    if (at < bytes.size() && bytes.at(at) == 0x01) {
        if (!readTlv(bytes, at, bytes.size(), criticality))
            return {};
        at = criticality.end();
    }
    // OCTET STRING { SEQUENCE { INTEGER size, OCTET STRING cookie } }
    BerTlv value;
    BerTlv sequence;
    BerTlv size;
    BerTlv cookie;
    if (!readTlv(bytes, at, bytes.size(), value) || !readTlv(bytes, value.start, value.end(), sequence)
        || !readTlv(bytes, sequence.start, sequence.end(), size) || !readTlv(bytes, size.end(), bytes.size(), cookie))
        return {};
    return bytes.mid(cookie.start, cookie.length);
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
    script = std::move(answer);
    return listener.listenUnix(socketPath) && listener.run([this] { run(); });
}

bool ScriptedLdapServer::startTcp(Script answer)
{
    script = std::move(answer);
    return listener.listenTcp(QStringLiteral("127.0.0.1")) && listener.run([this] { run(); });
}

void ScriptedLdapServer::stop()
{
    if (listener.running())
        stopping = true;
    listener.stop();
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
            BerTlv message;
            while (!client.session.closed() && readTlv(client.pending, 0, client.pending.size(), message)) {
                Request request;
                request.connection = client.session.connection;
                request.bytes = client.pending.left(message.end());
                client.pending.remove(0, message.end());
                if (!readLdapRequest(request.bytes, message, request))
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
    return listener.listenTcp(address, port) && listener.run([this] {
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
}
