#pragma once

// Internal to src/directory: libldap sessions over TCP sockets the program connects itself,
// without blocking on the connect: the DC locator's pings (many at once, in one poll loop) and
// the connections to servers checked to be on this machine (their checked addresses only).

#include "directory/LdapHandles.h"
#include "platform/ThisMachine.h"

#include <QByteArray>
#include <chrono>
#include <poll.h>
#include <vector>

namespace directory {

// A TCP connect begun without waiting. The socket closes with it unless a session took it.
class TcpConnect {
public:
    explicit TcpConnect(const platform::SocketAddress& address);
    ~TcpConnect();
    TcpConnect(const TcpConnect&) = delete;
    TcpConnect& operator=(const TcpConnect&) = delete;

    // False when the connect could not even begin (no socket, or refused at once).
    bool begun() const { return fd_ >= 0; }
    // What poll() waits for: the socket is writable once the connect has ended.
    pollfd pollEntry() const { return { fd_, POLLOUT, 0 }; }
    // Once poll() said writable: whether the connect succeeded.
    bool succeeded() const;
    // Waits for the connect to end, at most until `deadline`; whether it succeeded.
    bool succeedsBy(std::chrono::steady_clock::time_point deadline) const;
    // The libldap session over the connected socket, which it takes over (closed when libldap
    // refuses it; `rc` then says why), with TCP_NODELAY as libldap sets it on its own sockets.
    ldap::LdapPtr takeSession(const QByteArray& uri, int& rc);

private:
    int fd_ = -1;
};

// A libldap session over the connected socket `fd`, which it takes over (closed when libldap
// refuses it; `rc` then says why): a Unix socket for an ldapi:// URI, TCP for any other.
ldap::LdapPtr sessionOnSocket(int fd, const QByteArray& uri, int& rc);

// The session's socket blocks again, as libldap leaves its own once connected; false when not.
bool blockAgain(LDAP* ld);

// A blocking session over TCP to the first of `addresses` that accepts within `timeout`; empty
// when none does.
ldap::LdapPtr sessionToFirst(
    const std::vector<platform::SocketAddress>& addresses, const QByteArray& uri, std::chrono::milliseconds timeout);

} // namespace directory
