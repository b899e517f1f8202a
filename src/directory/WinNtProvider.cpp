#include "directory/WinNtProvider.h"

#include <QFile>
#include <arpa/inet.h>
#include <array>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <memory>
#include <pwd.h>
#include <unistd.h>

namespace directory::winnt {

namespace {

const QString providerPrefix = QStringLiteral("WinNT://");

struct AccountFiles {
    QString passwd;
    QString loginDefs;
};

AccountFiles& testFiles()
{
    static AccountFiles files;
    return files;
}

QStringList& askedFor()
{
    static QStringList servers;
    return servers;
}

[[noreturn]] void badPath(const QString& text)
{
    throw DirectoryError(hresult::BadPathName, QStringLiteral("パス名が正しくありません: %1").arg(text.left(200)));
}

bool isLoopbackAddress(const QByteArray& address)
{
    in_addr v4 {};
    if (::inet_pton(AF_INET, address.constData(), &v4) == 1)
        return (ntohl(v4.s_addr) >> 24) == 127;
    in6_addr v6 {};
    return ::inet_pton(AF_INET6, address.constData(), &v6) == 1 && IN6_IS_ADDR_LOOPBACK(&v6);
}

// Decided from the text alone: resolving the name could already send a query off the machine.
bool isThisMachine(const QString& server)
{
    if (server.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0 || isLoopbackAddress(server.toLatin1()))
        return true;
    std::array<char, HOST_NAME_MAX + 1> name {};
    if (::gethostname(name.data(), name.size() - 1) != 0 || !name[0])
        return false;
    const QString host = QString::fromLocal8Bit(name.data());
    return server.compare(host, Qt::CaseInsensitive) == 0
        || server.compare(host.section(u'.', 0, 0), Qt::CaseInsensitive) == 0;
}

// UID_MIN and UID_MAX of login.defs; numbers as shadow reads them (0x.. and 0.. allowed).
std::pair<long, long> humanUidRange(const QString& loginDefsFile)
{
    long low = 1000;
    long high = 60000;
    QFile file(loginDefsFile);
    if (!file.open(QIODevice::ReadOnly))
        return { low, high };
    while (!file.atEnd()) {
        const QList<QByteArray> words = file.readLine(4096).simplified().split(' ');
        if (words.size() < 2 || words.constFirst().startsWith('#'))
            continue;
        bool ok = false;
        const long value = words.at(1).toLong(&ok, 0);
        if (!ok)
            continue;
        if (words.constFirst() == "UID_MIN")
            low = value;
        else if (words.constFirst() == "UID_MAX")
            high = value;
    }
    return { low, high };
}

} // namespace

std::vector<QString> localAccountNames(const QString& passwdFile, const QString& loginDefsFile)
{
    std::vector<QString> names;
    const std::unique_ptr<FILE, int (*)(FILE*)> file(
        std::fopen(QFile::encodeName(passwdFile).constData(), "re"), &std::fclose);
    if (!file)
        return names;
    const auto [low, high] = humanUidRange(loginDefsFile);
    std::vector<char> buffer(1024);
    for (;;) {
        passwd entry {};
        passwd* read = nullptr;
        const int rc = ::fgetpwent_r(file.get(), &entry, buffer.data(), buffer.size(), &read);
        if (rc == ERANGE && buffer.size() < std::size_t(1024) * 1024) {
            // The line is read again with room enough.
            buffer.resize(buffer.size() * 4);
            continue;
        }
        if (rc != 0 || !read)
            break;
        const QString name = QString::fromUtf8(entry.pw_name);
        // "+" and "-" lines are NIS compatibility entries, not accounts.
        if (name.isEmpty() || name.startsWith(u'+') || name.startsWith(u'-'))
            continue;
        const long uid = static_cast<long>(entry.pw_uid);
        if (uid == 0 || (uid >= low && uid <= high))
            names.push_back(name);
    }
    return names;
}

Computer::Computer(const QString& server, std::vector<User> accounts)
    : adsPath_(providerPrefix + server)
    , accounts_(std::move(accounts))
{ }

std::vector<User> Computer::children() const
{
    if (filter_.isEmpty() || filter_.contains(QStringLiteral("User"), Qt::CaseInsensitive))
        return accounts_;
    return {};
}

Computer Namespace::OpenDSObject(
    const QString& path, const QString& /*user*/, const QString& /*password*/, int /*flags*/) const
{
    if (!path.startsWith(providerPrefix))
        badPath(path);
    QString server = path.mid(providerPrefix.size());
    if (server.endsWith(QLatin1String(",computer"), Qt::CaseInsensitive))
        server.chop(qsizetype(sizeof ",computer") - 1);
    // Domains, objects below the computer and class suffixes other than computer are not provided.
    if (server.isEmpty() || server.contains(u'/') || server.contains(u','))
        badPath(path);
    askedFor().append(server);
    if (!isThisMachine(server))
        throw DirectoryError(BadNetPath,
            QStringLiteral("ネットワーク パスが見つかりません: %1 (このコンピューター以外には接続しません)")
                .arg(server.left(200)));
    const AccountFiles& files = testFiles();
    std::vector<User> accounts;
    for (QString& name : localAccountNames(files.passwd.isEmpty() ? QStringLiteral("/etc/passwd") : files.passwd,
             files.loginDefs.isEmpty() ? QStringLiteral("/etc/login.defs") : files.loginDefs)) {
        QString adsPath = providerPrefix + server + u'/' + name;
        accounts.push_back(User { std::move(name), std::move(adsPath) });
    }
    return Computer(server, std::move(accounts));
}

Namespace bindNamespace(const QString& providerName)
{
    if (providerName != u"WinNT:")
        badPath(providerName);
    return Namespace();
}

QStringList serversAskedFor()
{
    return askedFor();
}

void clearServersAskedFor()
{
    askedFor().clear();
}

void setAccountFilesForTesting(const QString& passwdFile, const QString& loginDefsFile)
{
    testFiles() = AccountFiles { passwdFile, loginDefsFile };
}

} // namespace directory::winnt
