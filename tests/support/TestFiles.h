#pragma once

// Small file helpers shared by the platform and shell tests.

#include "platform/Cp932.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <QTemporaryDir>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

namespace testfiles {

inline QByteArray sjis(const QString& text)
{
    return platform::toAnsi(text);
}

inline bool writeBytes(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

inline QByteArray readBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

inline QStringList entries(const QString& dir)
{
    return QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

// Makes a file or directory unwritable for as long as the guard lives. Mode bits do not stop
// root, so when they are not enough the immutable attribute is set too. ok() is false when
// neither works (then the test cannot make its point and skips).
class Unwritable {
public:
    explicit Unwritable(const QString& path)
        : path(QFile::encodeName(path))
    {
        ::chmod(this->path.constData(), isDir() ? 0555 : 0444);
        if (!writable())
            return;
        immutable = setImmutable(true);
    }
    ~Unwritable()
    {
        if (immutable)
            setImmutable(false);
        ::chmod(path.constData(), isDir() ? 0755 : 0644);
    }
    Unwritable(const Unwritable&) = delete;
    Unwritable& operator=(const Unwritable&) = delete;

    bool ok() const { return !writable(); }

private:
    bool isDir() const { return QFileInfo(QFile::decodeName(path)).isDir(); }
    bool writable() const
    {
        if (!isDir())
            return ::access(path.constData(), W_OK) == 0;
        const QByteArray probe = path + "/.probe";
        const int fd = ::open(probe.constData(), O_CREAT | O_WRONLY, 0600);
        if (fd < 0)
            return false;
        ::close(fd);
        ::unlink(probe.constData());
        return true;
    }
    bool setImmutable(bool on) const
    {
        const int fd = ::open(path.constData(), O_RDONLY | O_NONBLOCK);
        if (fd < 0)
            return false;
        int flags = 0;
        bool done = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
        flags = on ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
        done = done && ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
        ::close(fd);
        return done;
    }

    QByteArray path;
    bool immutable = false;
};

// A tmpfs of the given size on a folder of its own for as long as the guard lives: a disk that
// really fills up. Mounting needs root (CI runs as root); ok() is false otherwise and reason()
// says why, for the skip message.
class SmallTmpfs {
public:
    explicit SmallTmpfs(qint64 bytes)
    {
        if (!folder.isValid()) {
            why = QStringLiteral("no temporary folder for the tmpfs");
            return;
        }
        const QByteArray options = "size=" + QByteArray::number(bytes) + ",mode=0755";
        mounted = ::mount("mivora-test", QFile::encodeName(folder.path()).constData(), "tmpfs", MS_NOSUID | MS_NODEV,
                      options.constData())
            == 0;
        if (!mounted) {
            why = QStringLiteral("cannot mount a small tmpfs (%1): the full-disk case needs root, as in CI")
                      .arg(QString::fromLocal8Bit(std::strerror(errno)));
        }
    }
    ~SmallTmpfs()
    {
        if (mounted)
            ::umount2(QFile::encodeName(folder.path()).constData(), MNT_DETACH);
    }
    SmallTmpfs(const SmallTmpfs&) = delete;
    SmallTmpfs& operator=(const SmallTmpfs&) = delete;

    bool ok() const { return mounted; }
    QString reason() const { return why; }
    QString path() const { return folder.path(); }
    QString filePath(const QString& name) const { return folder.filePath(name); }

private:
    QTemporaryDir folder;
    bool mounted = false;
    QString why;
};

} // namespace testfiles
