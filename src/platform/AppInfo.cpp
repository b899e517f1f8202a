#include "platform/AppInfo.h"
#include "platform/Testing.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace platform {

namespace {
QString& overridePath()
{
    static QString path;
    return path;
}

SettingsLocation& currentLocation()
{
    static SettingsLocation location = SettingsLocation::BesideExecutable;
    return location;
}

QString homeFolder()
{
    const QByteArray home = qgetenv("HOME");
    if (!home.isEmpty())
        return QFile::decodeName(home);
    // Without HOME (a service started without one) the password database still knows it; QDir would
    // answer "/" and the files would land in the root folder.
    std::vector<char> buffer(16384);
    passwd entry {};
    passwd* found = nullptr;
    if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found && found->pw_dir)
        return QFile::decodeName(found->pw_dir);
    return QString();
}

// mkdir -p with owner-only folders: the files inside hold a password in plain text.
void makeOwnerOnlyFolders(const QString& path)
{
    const QByteArray native = QFile::encodeName(path);
    for (qsizetype slash = native.indexOf('/', 1); slash != -1; slash = native.indexOf('/', slash + 1))
        ::mkdir(native.left(slash).constData(), 0700);
    ::mkdir(native.constData(), 0700);
}
} // namespace

void setSettingsLocation(SettingsLocation location)
{
    currentLocation() = location;
}

SettingsLocation settingsLocation()
{
    return currentLocation();
}

QString userSettingsFolder()
{
    QString base = QFile::decodeName(qgetenv("XDG_CONFIG_HOME"));
    // The XDG base directory rules say a relative path is to be ignored.
    if (base.isEmpty() || !QDir::isAbsolutePath(base)) {
        const QString home = homeFolder();
        if (home.isEmpty())
            return QString();
        base = home + QStringLiteral("/.config");
    }
    while (base.size() > 1 && base.endsWith(u'/'))
        base.chop(1);
    return base + QStringLiteral("/mivora");
}

QString appPath()
{
    if (!overridePath().isEmpty())
        return overridePath();
    if (currentLocation() == SettingsLocation::BesideExecutable)
        return QCoreApplication::applicationDirPath();
    QString folder = userSettingsFolder();
    // Never fall back to the executable's folder: that is the installation prefix. An empty
    // answer makes "/data.ini", which an ordinary user cannot write either; root could, so it
    // gets a path that cannot exist instead.
    if (folder.isEmpty())
        return QStringLiteral("/nonexistent/mivora");
    if (!QFileInfo::exists(folder))
        makeOwnerOnlyFolders(folder);
    return folder;
}

namespace testing {
void setAppPath(const QString& path)
{
    overridePath() = path;
}
} // namespace testing

} // namespace platform
