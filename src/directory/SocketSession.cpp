#include "directory/SocketSession.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <openldap.h>
#include <sys/socket.h>
#include <unistd.h>
#include <utility>

namespace directory {

TcpConnect::TcpConnect(const platform::SocketAddress& address)
    : fd_(::socket(address.storage.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0))
{
    if (fd_ >= 0 && ::connect(fd_, reinterpret_cast<const sockaddr*>(&address.storage), address.length) != 0
        && errno != EINPROGRESS) {
        ::close(fd_);
        fd_ = -1;
    }
}

TcpConnect::~TcpConnect()
{
    if (fd_ >= 0)
        ::close(fd_);
}

bool TcpConnect::succeeded() const
{
    int error = 0;
    socklen_t length = sizeof error;
    return fd_ >= 0 && ::getsockopt(fd_, SOL_SOCKET, SO_ERROR, &error, &length) == 0 && error == 0;
}

bool TcpConnect::succeedsBy(std::chrono::steady_clock::time_point deadline) const
{
    if (fd_ < 0)
        return false;
    pollfd entry = pollEntry();
    int ready = 0;
    do {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        ready = ::poll(&entry, 1, static_cast<int>(std::max<long long>(left.count(), 0)));
    } while (ready < 0 && errno == EINTR);
    return ready == 1 && succeeded();
}

ldap::LdapPtr TcpConnect::takeSession(const QByteArray& uri, int& rc)
{
    // Small requests go out at once (pipelined reads, the bind). A failure is ignored, as libldap
    // ignores it on its own sockets.
    const int on = 1;
    ::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    return sessionOnSocket(std::exchange(fd_, -1), uri, rc);
}

ldap::LdapPtr sessionOnSocket(int fd, const QByteArray& uri, int& rc)
{
    LDAP* ld = nullptr;
    const bool unixSocket = uri.left(8).compare("ldapi://", Qt::CaseInsensitive) == 0;
    rc = ldap_init_fd(fd, unixSocket ? LDAP_PROTO_IPC : LDAP_PROTO_TCP, uri.constData(), &ld);
    if (rc == LDAP_SUCCESS && ld)
        return ldap::LdapPtr(ld);
    ::close(fd);
    if (rc == LDAP_SUCCESS)
        rc = LDAP_PARAM_ERROR;
    return {};
}

bool blockAgain(LDAP* ld)
{
    int fd = -1;
    if (ldap_get_option(ld, LDAP_OPT_DESC, &fd) != LDAP_OPT_SUCCESS || fd < 0)
        return false;
    const int flags = ::fcntl(fd, F_GETFL);
    return flags >= 0 && ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) == 0;
}

ldap::LdapPtr sessionToFirst(
    const std::vector<platform::SocketAddress>& addresses, const QByteArray& uri, std::chrono::milliseconds timeout)
{
    for (const platform::SocketAddress& address : addresses) {
        TcpConnect connect(address);
        if (!connect.succeedsBy(std::chrono::steady_clock::now() + timeout))
            continue;
        int rc = LDAP_SUCCESS;
        ldap::LdapPtr session = connect.takeSession(uri, rc);
        if (session && blockAgain(session.get()))
            return session;
    }
    return {};
}

} // namespace directory
