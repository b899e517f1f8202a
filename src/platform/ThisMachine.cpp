#include "platform/ThisMachine.h"

#include <arpa/inet.h>
#include <array>
#include <climits>
#include <cstring>
#include <memory>
#include <netdb.h>
#include <netinet/in.h>
#include <unistd.h>

namespace platform {

namespace {

struct FreeAddrInfo {
    void operator()(addrinfo* info) const { freeaddrinfo(info); }
};

bool isLoopback(const in_addr& v4)
{
    return (ntohl(v4.s_addr) >> 24) == 127;
}

bool isLoopback(const in6_addr& v6, bool mapped)
{
    if (IN6_IS_ADDR_LOOPBACK(&v6))
        return true;
    // ::ffff:127.x.x.x
    return mapped && IN6_IS_ADDR_V4MAPPED(&v6) && v6.s6_addr[12] == 127;
}

bool isLoopback(const sockaddr* address)
{
    if (address->sa_family == AF_INET) {
        sockaddr_in in {};
        std::memcpy(&in, address, sizeof(in));
        return isLoopback(in.sin_addr);
    }
    if (address->sa_family == AF_INET6) {
        sockaddr_in6 in6 {};
        std::memcpy(&in6, address, sizeof(in6));
        return isLoopback(in6.sin6_addr, true);
    }
    return false;
}

bool isLoopbackAddress(const QString& text, AddressForms forms)
{
    const bool extended = forms == AddressForms::BracketedAndMapped;
    QString address = text;
    if (extended && address.startsWith(u'[') && address.endsWith(u']'))
        address = address.mid(1, address.size() - 2);
    const QByteArray bytes = address.toLatin1();
    in_addr v4 {};
    if (::inet_pton(AF_INET, bytes.constData(), &v4) == 1)
        return isLoopback(v4);
    in6_addr v6 {};
    return ::inet_pton(AF_INET6, bytes.constData(), &v6) == 1 && isLoopback(v6, extended);
}

} // namespace

bool namesThisMachine(const QString& server, AddressForms forms)
{
    if (server.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0 || isLoopbackAddress(server, forms))
        return true;
    std::array<char, HOST_NAME_MAX + 1> name {};
    if (::gethostname(name.data(), name.size() - 1) != 0 || !name[0])
        return false;
    const QString host = QString::fromLocal8Bit(name.data());
    return server.compare(host, Qt::CaseInsensitive) == 0
        || server.compare(host.section(u'.', 0, 0), Qt::CaseInsensitive) == 0;
}

std::vector<SocketAddress> addressesOf(const QByteArray& host, int port, int flags)
{
    addrinfo hints {};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICSERV | flags;
    addrinfo* raw = nullptr;
    if (getaddrinfo(host.constData(), QByteArray::number(port).constData(), &hints, &raw) != 0 || !raw)
        return {};
    const std::unique_ptr<addrinfo, FreeAddrInfo> owner(raw);
    std::vector<SocketAddress> addresses;
    for (const addrinfo* info = raw; info; info = info->ai_next) {
        if (!info->ai_addr || info->ai_addrlen > sizeof(sockaddr_storage))
            return {};
        SocketAddress& address = addresses.emplace_back();
        std::memcpy(&address.storage, info->ai_addr, info->ai_addrlen);
        address.length = info->ai_addrlen;
    }
    return addresses;
}

std::vector<SocketAddress> loopbackAddressesOf(const QByteArray& host, int port)
{
    std::vector<SocketAddress> addresses = addressesOf(host.isEmpty() ? QByteArrayLiteral("localhost") : host, port);
    for (const SocketAddress& address : addresses)
        if (!isLoopback(reinterpret_cast<const sockaddr*>(&address.storage)))
            return {};
    return addresses;
}

} // namespace platform
