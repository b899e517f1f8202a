#include "PrivateNetwork.h"

#include <QFile>

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <net/if.h>
#include <netinet/in.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

QString lastSystemError(const QString& what)
{
    return what + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(errno));
}

bool setAddress(int fd, const char* interface, unsigned long request, const QString& address)
{
    ifreq request_ {};
    std::strncpy(request_.ifr_name, interface, IFNAMSIZ - 1);
    sockaddr_in in {};
    in.sin_family = AF_INET;
    if (::inet_pton(AF_INET, address.toLatin1().constData(), &in.sin_addr) != 1)
        return false;
    std::memcpy(&request_.ifr_addr, &in, sizeof(in));
    return ::ioctl(fd, request, &request_) == 0;
}

} // namespace

bool PrivateNetwork::enter(const QStringList& addresses, const QByteArray& hosts)
{
    if (::geteuid() != 0) {
        error = QStringLiteral("needs root for a network namespace of its own");
        return false;
    }
    if (!files.isValid()) {
        error = QStringLiteral("no temporary directory");
        return false;
    }
    if (::unshare(CLONE_NEWNET | CLONE_NEWNS) != 0) {
        error = lastSystemError(QStringLiteral("unshare"));
        return false;
    }
    // The bind mounts below must not reach the machine's own mount namespace.
    if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
        error = lastSystemError(QStringLiteral("mount --make-rprivate /"));
        return false;
    }
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        error = lastSystemError(QStringLiteral("socket"));
        return false;
    }
    ifreq lo {};
    std::strncpy(lo.ifr_name, "lo", IFNAMSIZ - 1);
    bool ok = ::ioctl(fd, SIOCGIFFLAGS, &lo) == 0;
    lo.ifr_flags = static_cast<short>(lo.ifr_flags | IFF_UP);
    ok = ok && ::ioctl(fd, SIOCSIFFLAGS, &lo) == 0;
    if (!ok)
        error = lastSystemError(QStringLiteral("lo up"));
    for (qsizetype i = 0; ok && i < addresses.size(); ++i) {
        const QByteArray alias = "lo:" + QByteArray::number(i + 1);
        ok = setAddress(fd, alias.constData(), SIOCSIFADDR, addresses.at(i))
            && setAddress(fd, alias.constData(), SIOCSIFNETMASK, QStringLiteral("255.255.255.255"));
        if (!ok)
            error = lastSystemError(QStringLiteral("address ") + addresses.at(i));
    }
    ::close(fd);
    return ok && bindFile(QStringLiteral("hosts"), hosts, "/etc/hosts")
        && bindFile(QStringLiteral("resolv.conf"), "nameserver 127.0.0.1\n", "/etc/resolv.conf");
}

bool PrivateNetwork::bindFile(const QString& name, const QByteArray& contents, const char* target)
{
    QFile file(files.filePath(name));
    if (!file.open(QIODevice::WriteOnly) || file.write(contents) != contents.size()) {
        error = QStringLiteral("cannot write ") + file.fileName();
        return false;
    }
    file.close();
    if (::mount(QFile::encodeName(file.fileName()).constData(), target, nullptr, MS_BIND, nullptr) != 0) {
        error = lastSystemError(QStringLiteral("mount --bind over ") + QString::fromLatin1(target));
        return false;
    }
    return true;
}
