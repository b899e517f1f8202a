#include "probes/WinNtProvider.h"

#include "platform/ThisMachine.h"
#include "probes/ServersAskedFor.h"

#include <QFile>
#include <cerrno>
#include <cstdio>
#include <memory>
#include <pwd.h>

namespace probes::winnt {

namespace {

const QString providerPrefix = QStringLiteral("WinNT://");

[[noreturn]] void badPath(const QString& text)
{
    throw directory::DirectoryError(
        directory::hresult::BadPathName, QStringLiteral("パス名が正しくありません: %1").arg(text.left(200)));
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
    noteServerAskedFor(StandIn::WinNt, server);
    if (!platform::namesThisMachine(server, platform::AddressForms::PlainOnly))
        throw directory::DirectoryError(BadNetPath,
            QStringLiteral("ネットワーク パスが見つかりません: %1 (このコンピューター以外には接続しません)")
                .arg(server.left(200)));
    std::vector<User> accounts;
    for (QString& name : localAccountNames(files_.passwd, files_.loginDefs)) {
        QString adsPath = providerPrefix + server + u'/' + name;
        accounts.push_back(User { std::move(name), std::move(adsPath) });
    }
    return Computer(server, std::move(accounts));
}

Namespace bindNamespace(const QString& providerName, AccountFiles files)
{
    if (providerName != u"WinNT:")
        badPath(providerName);
    return Namespace(std::move(files));
}

} // namespace probes::winnt
