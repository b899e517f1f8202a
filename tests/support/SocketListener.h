#pragma once

#include <QString>
#include <functional>
#include <mutex>
#include <poll.h>
#include <thread>
#include <vector>

// A copy of `value` taken under `mutex`: what a test reads of the state a server thread fills.
template <class T> T copyUnder(std::mutex& mutex, const T& value)
{
    std::lock_guard lock(mutex);
    return value;
}

// A listening stream socket served by a thread of its own, and a pipe that wakes that thread when
// it is time to stop: what the relay and the fake servers share. The serving loop starts each
// round from watchList(), adds its own sockets after the first two entries and calls wait().
class SocketListener {
public:
    SocketListener() = default;
    ~SocketListener() { stop(); }
    Q_DISABLE_COPY_MOVE(SocketListener)

    // On the Unix socket `path`; a socket file left there is removed first. False on failure,
    // with the reason in lastError().
    bool listenUnix(const QString& path);
    // On an IPv4 address (text) and `port`, or a free port; then in port().
    bool listenTcp(const QString& address, quint16 port = 0);
    QString lastError() const { return error; }
    QString path() const { return socketPath; }
    quint16 port() const { return tcpPort; }
    // ldapi:// with the socket path percent-encoded as libldap wants it, or ldap://ADDRESS:PORT.
    QString uri() const;

    // Starts the thread that serves; true, to follow a listen call with &&.
    bool run(std::function<void()> serve) { return (thread = std::thread(std::move(serve))).joinable(); }
    bool running() const { return thread.joinable(); }
    // Wakes the thread, waits for it, closes both sockets and removes the socket file.
    void stop();

    // The wake pipe and the listening socket, in that order.
    std::vector<pollfd> watchList() const;
    // Polls `watched` through interruptions; false once the wake pipe was written or poll failed.
    static bool wait(std::vector<pollfd>& watched);
    // A new connection, when watched[1] says one is waiting; else -1.
    int accept(const std::vector<pollfd>& watched) const;

    // A connected stream socket to the Unix socket `path`; -1 on failure.
    static int connectUnix(const QString& path);

private:
    bool listenOn(int family, const void* address, unsigned size, const QString& name);

    QString socketPath;
    QString tcpAddress;
    QString error;
    quint16 tcpPort = 0;
    int listenFd = -1;
    int wakeFds[2] { -1, -1 };
    std::thread thread;
};
