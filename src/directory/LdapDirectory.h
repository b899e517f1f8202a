#pragma once

#include "directory/ConnectionOptions.h"
#include "directory/Directory.h"

#include <QHash>

namespace directory {

class Connection;

// The directory over libldap. Keeps one open connection per server, reused between calls, and
// notices a dropped one at the next bind (it then opens a new one; a failed operation is reported,
// never retried). Serverless paths go to the DC that the DC locator finds for their domain, unless
// ldap.conf names a URI.
class LdapDirectory : public Directory {
public:
    // Outstanding reads at once when reading many entries; well under slapd's limit of 1000
    // pending operations per connection.
    static constexpr int readWindow = 200;

    // Opens the connection to a server URI, bound as the current user. Fuzzers and tests give
    // Connection::openOnSocket over a socket pair.
    using Opener = std::function<std::shared_ptr<Connection>(const QString& uri, const ConnectionOptions& options)>;

    // Empty `opener`: Connection::open, bound as the current user.
    explicit LdapDirectory(ConnectionOptions options = {}, Opener opener = {});
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
    // The waits and page size of the connections opened from now on and of those held open.
    void setConnectionOptions(const ConnectionOptions& options);

    // "(|(objectClass=a)(objectClass=b)...)" with each name escaped; "(objectClass=*)" for none.
    static QString classFilterText(const QStringList& classNames);

private:
    // The object's session when this directory opened it; none for another directory's.
    std::shared_ptr<const ObjectSession> ownSession(const DirObject& object) const;
    std::shared_ptr<Connection> connectionFor(const DirObject& object);
    std::shared_ptr<Connection> connectionFor(const AdsPath& path);
    // A connection to a DC of `domain` that the locator found, for serverless paths.
    std::shared_ptr<Connection> connectionToDcOf(const QString& domain);
    // "LDAP://host" names the server's default naming context; every DN is checked for syntax
    // before anything is sent.
    AdsPath withDomainDn(const AdsPath& path, Connection& connection);
    // Runs one operation on a connection; a connection found broken leaves the pool.
    template <typename Operation> auto run(const std::shared_ptr<Connection>& connection, Operation&& operation);

    ConnectionOptions options_;
    Opener opener_;
    QHash<QString, std::shared_ptr<Connection>> connections_;
    // Domain -> the URI of the DC located for it, kept for the directory's life.
    QHash<QString, QString> locatedDcs_;
    qint64 memberRangeStep_ = 0;
    // Tells the sessions of this directory's objects from another's: unlike an address, never reused.
    quint64 id_;
};

} // namespace directory
