#include "SocketListener.h"

#include <QFile>
#include <QUrl>

#include <arpa/inet.h>
#include <netinet/in.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

bool unixAddress(const QString& path, sockaddr_un& address)
{
    const QByteArray name = QFile::encodeName(path);
    if (name.size() >= qsizetype(sizeof(address.sun_path)))
        return false;
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, name.constData(), size_t(name.size()));
    return true;
}

} // namespace

bool SocketListener::listenUnix(const QString& path)
{
    socketPath = path;
    sockaddr_un address {};
    if (!unixAddress(path, address)) {
        error = QStringLiteral("socket path too long: ") + path;
        return false;
    }
    QFile::remove(path);
    return listenOn(AF_UNIX, &address, sizeof(address), path);
}

int SocketListener::connectUnix(const QString& path)
{
    sockaddr_un address {};
    const int fd = unixAddress(path, address) ? ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0) : -1;
    if (fd >= 0 && ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

bool SocketListener::listenTcp(const QString& text, quint16 port)
{
    tcpAddress = text;
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    if (::inet_pton(AF_INET, text.toLatin1().constData(), &address.sin_addr) != 1) {
        error = QStringLiteral("not an IPv4 address: ") + text;
        return false;
    }
    if (!listenOn(AF_INET, &address, sizeof(address), text))
        return false;
    socklen_t length = sizeof(address);
    if (::getsockname(listenFd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        error = QStringLiteral("no port for %1: %2").arg(text, QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    tcpPort = ntohs(address.sin_port);
    return true;
}

bool SocketListener::listenOn(int family, const void* address, unsigned size, const QString& name)
{
    listenFd = ::socket(family, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listenFd < 0 || ::bind(listenFd, static_cast<const sockaddr*>(address), size) != 0
        || ::listen(listenFd, 16) != 0 || ::pipe2(wakeFds, O_CLOEXEC) != 0) {
        error = QStringLiteral("cannot listen on %1: %2").arg(name, QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    return true;
}

void SocketListener::stop()
{
    if (thread.joinable()) {
        const char stop = 's';
        [[maybe_unused]] const ssize_t written = ::write(wakeFds[1], &stop, 1);
        thread.join();
    }
    for (int* fd : { &listenFd, &wakeFds[0], &wakeFds[1] }) {
        if (*fd >= 0)
            ::close(*fd);
        *fd = -1;
    }
    if (!socketPath.isEmpty())
        QFile::remove(socketPath);
}

QString SocketListener::uri() const
{
    if (socketPath.isEmpty())
        return QStringLiteral("ldap://%1:%2").arg(tcpAddress).arg(tcpPort);
    return QStringLiteral("ldapi://") + QString::fromLatin1(QUrl::toPercentEncoding(socketPath));
}

std::vector<pollfd> SocketListener::watchList() const
{
    return { { wakeFds[0], POLLIN, 0 }, { listenFd, POLLIN, 0 } };
}

bool SocketListener::wait(std::vector<pollfd>& watched)
{
    while (::poll(watched.data(), watched.size(), -1) < 0) {
        if (errno != EINTR)
            return false;
    }
    return watched[0].revents == 0;
}

int SocketListener::accept(const std::vector<pollfd>& watched) const
{
    if (!(watched[1].revents & POLLIN))
        return -1;
    return ::accept4(listenFd, nullptr, nullptr, SOCK_CLOEXEC);
}
