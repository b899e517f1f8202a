#pragma once

#include "directory/Directory.h"

#include <QHash>

namespace directory {

class Connection;

// The directory over libldap. Keeps one open connection per server, reused between calls, and
// notices a dropped one at the next bind (it then opens a new one; a failed operation is reported,
// never retried).
class LdapDirectory : public Directory {
public:
    // Outstanding reads at once when reading many entries; well under slapd's limit of 1000
    // pending operations per connection.
    static constexpr int readWindow = 200;

    LdapDirectory();
    ~LdapDirectory() override;

    DirObject bind(const QString& adsPath) override;
    void enumerate(const DirObject& container, const QStringList& classFilter,
        const std::function<void(const Batch&)>& onBatch) override;
    QStringList members(const DirObject& group) override;
    std::vector<ReadResult> readEach(const QStringList& adsPaths, const QString& propertyName) override;
    // One paged subtree search of the relation under the domain of `related.dn` serves every path
    // it finds an entry for, matched by DN; every other path (hidden, in another domain or server,
    // a server without memberOf, a DN the match cannot pair) is read as readEach reads it.
    std::vector<ReadResult> readRelated(
        const QStringList& adsPaths, const QString& propertyName, const Related& related) override;
    DirObject openDSObject(const QString& adsPath, const QString& user, const QString& password) override;

    // 0: follow the server's own ranges of "member"; n: request explicit ranges of n values.
    void setMemberRangeStep(qint64 step) { memberRangeStep_ = step; }
    // Connections currently held open (for tests of reuse).
    qsizetype openConnectionCount() const { return connections_.size(); }
    // Opens the connection to a server URI in place of a bind as the current user (fuzzers and
    // tests give Connection::openOnSocket over a socket pair). Empty: the real way again.
    using Opener = std::function<std::shared_ptr<Connection>(const QString& uri)>;
    void setOpenerForTesting(Opener opener) { opener_ = std::move(opener); }

    // "(|(objectClass=a)(objectClass=b)...)" with each name escaped; "(objectClass=*)" for none.
    static QString classFilterText(const QStringList& classNames);

private:
    // serverUriFor, cut to the servers on this machine while a ThisMachineOnly lives.
    static QString serverFor(const AdsPath& path);
    std::shared_ptr<Connection> connectionFor(const DirObject& object);
    std::shared_ptr<Connection> connectionFor(const AdsPath& path);
    // "LDAP://host" names the server's default naming context; every DN is checked for syntax
    // before anything is sent.
    AdsPath withDomainDn(const AdsPath& path, Connection& connection);
    // Runs one operation on a connection; a connection found broken leaves the pool.
    template <typename Operation> auto run(const std::shared_ptr<Connection>& connection, Operation&& operation);

    QHash<QString, std::shared_ptr<Connection>> connections_;
    qint64 memberRangeStep_ = 0;
    Opener opener_;
};

} // namespace directory
