#pragma once

#include "directory/DirectoryError.h"

#include <QString>
#include <QStringList>
#include <vector>

// A stand-in for ADSI's WinNT provider, enough for a probe of the local machine: the computer
// object "WinNT://<this machine>" and its local user accounts. It never opens a socket; any
// other server fails as an unreachable one would. Failures throw DirectoryError.
namespace probes::winnt {

// ERROR_BAD_NETPATH as an HRESULT: what the provider reports for a computer it cannot reach.
constexpr int32_t BadNetPath = static_cast<int32_t>(0x80070035);

// A user account of the computer (IADsUser): Name is the login name.
struct User {
    QString Name;
    QString ADsPath; // "WinNT://<server>/<name>"
    QString Class() const { return QStringLiteral("User"); }
};

// The computer object, an IADsContainer of its user accounts.
class Computer {
public:
    const QString& ADsPath() const { return adsPath_; }
    // IADsContainer::Filter: class names (letter case ignored); empty lets everything through.
    void setFilter(const QStringList& classNames) { filter_ = classNames; }
    const QStringList& Filter() const { return filter_; }
    // The children the filter lets through, in the order of the accounts file.
    std::vector<User> children() const;

private:
    friend class Namespace;
    Computer(const QString& server, std::vector<User> accounts);

    QString adsPath_;
    QStringList filter_;
    std::vector<User> accounts_;
};

// Where the local accounts are read from.
struct AccountFiles {
    QString passwd = QStringLiteral("/etc/passwd");
    QString loginDefs = QStringLiteral("/etc/login.defs");
};

// What binding "WinNT:" gives: the provider's namespace object.
class Namespace {
public:
    explicit Namespace(AccountFiles files)
        : files_(std::move(files))
    { }

    // Opens "WinNT://<server>" (or "WinNT://<server>,computer"). The server must be this
    // machine: "localhost", a loopback address or this host's own name; any other fails with
    // BadNetPath and nothing is sent anywhere. The accounts are read as the user who runs the
    // program (the file is readable to everyone), so user, password and flags are not used.
    Computer OpenDSObject(const QString& path, const QString& user, const QString& password, int flags) const;

private:
    AccountFiles files_;
};

// Binds a provider name alone; only "WinNT:" (letter case as written) is known. Its computers
// hold the accounts of files.
Namespace bindNamespace(const QString& providerName, AccountFiles files = {});

// What a user calls the local accounts: root and the uids that useradd gives to people
// (UID_MIN..UID_MAX of login.defs, 1000..60000 when it does not say), read from the files
// themselves (not through NSS, which may ask a network directory). Missing files give none.
std::vector<QString> localAccountNames(const QString& passwdFile, const QString& loginDefsFile);

} // namespace probes::winnt
