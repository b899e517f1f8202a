#include "directory/LdapDirectory.h"

#include "directory/Connection.h"
#include "directory/DcLocator.h"
#include "directory/Dn.h"
#include "directory/LdapErrors.h"
#include "directory/PagedSearch.h"
#include "directory/RangedValues.h"
#include "directory/Search.h"
#include "directory/ServerLocator.h"

#include <algorithm>
#include <atomic>

namespace directory {

// An object's session: the connection openDSObject bound it on, and the directory that did.
struct ObjectSession {
    quint64 directory;
    std::shared_ptr<Connection> connection;
};

namespace {
// What a bind reads: every user attribute plus the operational ones that Get and Class need.
const QStringList bindAttributes { QStringLiteral("*"), QStringLiteral("memberOf"),
    QStringLiteral("structuralObjectClass"), QStringLiteral("createTimestamp") };
const QStringList classAttributes { QStringLiteral("objectClass"), QStringLiteral("structuralObjectClass") };

void checkDnSyntax(const QString& dn)
{
    if (!dn::isValid(dn))
        throw errorFromLdap(LDAP_INVALID_DN_SYNTAX, messageExcerpt(dn, 200));
}

// The domain whose DC is located for a path; empty where a URI names the server, and always for
// the probes, which go only to servers on this machine.
QString locatedDomainOf(const AdsPath& path)
{
    return ThisMachineOnly::active() ? QString() : domainToLocate(path);
}

// The servers of a path: serverUriFor. While a ThisMachineOnly lives, only those on this machine,
// in `checked` with the addresses they were found at; a connection goes nowhere else.
struct Servers {
    QString uri;
    std::vector<CheckedServer> checked;
};

Servers serversFor(const AdsPath& path)
{
    QString uri = serverUriFor(path);
    if (!ThisMachineOnly::active())
        return { uri, {} };
    std::vector<CheckedServer> local = serversOnThisMachine(uri);
    if (local.empty())
        throw errorFromLdap(
            LDAP_SERVER_DOWN, QStringLiteral("%1 はこのコンピューターの外にあるため接続しません。").arg(uri.left(200)));
    return { urisOf(local), std::move(local) };
}

// One path of a read of many: parsed, checked and given the server that serves it, or the error
// that reading it gives. Paths with the same `server` share a connection.
struct PlannedRead {
    AdsPath path;
    // The URI that serves it, or "dc-of:<domain>" for a DC the locator finds.
    QString server;
    std::optional<DirectoryError> error;
};

std::atomic<quint64> nextDirectoryId = 1;

std::vector<PlannedRead> planReads(const QStringList& adsPaths)
{
    std::vector<PlannedRead> plan(static_cast<size_t>(adsPaths.size()));
    // The DNS SRV records of a domain are asked for once, not once per path.
    ServerUris uris;
    for (qsizetype i = 0; i < adsPaths.size(); ++i) {
        PlannedRead& read = plan[static_cast<size_t>(i)];
        try {
            read.path = AdsPath::parse(adsPaths.at(i));
            if (read.path.dn().isEmpty())
                throw errorFromLdap(LDAP_NO_SUCH_OBJECT, adsPaths.at(i));
            checkDnSyntax(read.path.dn());
            const QString domain = locatedDomainOf(read.path);
            read.server = domain.isEmpty() ? uris.uriFor(read.path) : QStringLiteral("dc-of:") + domain;
        } catch (const DirectoryError& error) {
            read.error = error;
        }
    }
    return plan;
}
} // namespace

LdapDirectory::LdapDirectory(ConnectionOptions options, Opener opener)
    : options_(options)
    , opener_(std::move(opener))
    , id_(nextDirectoryId++)
{ }

LdapDirectory::~LdapDirectory() = default;

void LdapDirectory::setConnectionOptions(const ConnectionOptions& options)
{
    options_ = options;
    for (const std::shared_ptr<Connection>& connection : std::as_const(connections_))
        connection->setOptions(options);
}

template <typename Operation>
auto LdapDirectory::run(const std::shared_ptr<Connection>& connection, Operation&& operation)
{
    try {
        return operation(*connection);
    } catch (const DirectoryError&) {
        if (!connection->isAlive()) {
            const auto it = connections_.constFind(connection->uri());
            if (it != connections_.constEnd() && *it == connection)
                connections_.erase(it);
        }
        throw;
    }
}

std::shared_ptr<Connection> LdapDirectory::connectionToDcOf(const QString& domain)
{
    // The DC located before serves while its connection lives; once that is lost, a DC is
    // located anew (the old one may be the one that went down).
    if (const auto known = locatedDcs_.constFind(domain); known != locatedDcs_.constEnd()) {
        const auto it = connections_.constFind(*known);
        if (it != connections_.constEnd() && (*it)->isAlive())
            return *it;
        connections_.remove(*known);
        locatedDcs_.erase(known);
    }
    LocatedDc dc = locateDc(domain, options_);
    std::shared_ptr<Connection> connection;
    if (opener_)
        connection = opener_(dc.uri, options_);
    else if (dc.session)
        connection = Connection::openOnSession(std::move(dc.session), dc.uri, std::nullopt, options_);
    else
        connection = Connection::open(dc.uri, {}, std::nullopt, options_);
    connections_.insert(dc.uri, connection);
    locatedDcs_.insert(domain, dc.uri);
    return connection;
}

std::shared_ptr<Connection> LdapDirectory::connectionFor(const AdsPath& path)
{
    if (const QString domain = locatedDomainOf(path); !domain.isEmpty())
        return connectionToDcOf(domain);
    const Servers servers = serversFor(path);
    auto it = connections_.find(servers.uri);
    if (it != connections_.end()) {
        // While a ThisMachineOnly lives, not one that libldap connected by name (an opener's
        // connection is the test's own).
        if ((*it)->isAlive() && (servers.checked.empty() || opener_ || (*it)->onCheckedAddresses()))
            return *it;
        connections_.erase(it);
    }
    std::shared_ptr<Connection> connection = opener_
        ? opener_(servers.uri, options_)
        : Connection::open(servers.uri, servers.checked, std::nullopt, options_);
    connections_.insert(servers.uri, connection);
    return connection;
}

std::shared_ptr<const ObjectSession> LdapDirectory::ownSession(const DirObject& object) const
{
    const std::shared_ptr<const ObjectSession>& session = object.session();
    return session && session->directory == id_ ? session : nullptr;
}

std::shared_ptr<Connection> LdapDirectory::connectionFor(const DirObject& object)
{
    // Objects opened with explicit credentials keep reading on their own connection.
    if (const std::shared_ptr<const ObjectSession> session = ownSession(object))
        return session->connection;
    return connectionFor(object.path());
}

AdsPath LdapDirectory::withDomainDn(const AdsPath& path, Connection& connection)
{
    if (!path.dn().isEmpty()) {
        checkDnSyntax(path.dn());
        return path;
    }
    const LdapEntry rootDse = readEntry(connection, QString(), { QStringLiteral("defaultNamingContext") });
    const QList<QByteArray> context = rootDse.attributes.value(QStringLiteral("defaultnamingcontext"));
    if (context.isEmpty())
        throw errorFromLdap(LDAP_NO_SUCH_OBJECT, QStringLiteral("defaultNamingContext"));
    return path.withDn(AttrValue::text(context.constFirst()));
}

DirObject LdapDirectory::bind(const QString& adsPath)
{
    const AdsPath parsed = AdsPath::parse(adsPath);
    if (!parsed.dn().isEmpty())
        checkDnSyntax(parsed.dn());
    const std::shared_ptr<Connection> connection = connectionFor(parsed);
    return run(connection, [&](Connection& session) {
        const AdsPath path = withDomainDn(parsed, session);
        LdapEntry entry = readEntry(session, path.dn(), bindAttributes);
        return DirObject(path, std::move(entry.attributes));
    });
}

QString LdapDirectory::classFilterText(const QStringList& classNames)
{
    if (classNames.isEmpty())
        return QStringLiteral("(objectClass=*)");
    QString filter = QStringLiteral("(|");
    for (const QString& name : classNames)
        filter += QStringLiteral("(objectClass=%1)").arg(escapeFilterValue(name));
    return filter + u')';
}

void LdapDirectory::enumerate(
    const DirObject& container, const QStringList& classFilter, const std::function<void(const Batch&)>& onBatch)
{
    const std::shared_ptr<Connection> connection = connectionFor(container);
    const std::shared_ptr<const ObjectSession> session = ownSession(container);
    run(connection, [&](Connection& ldap) {
        PagedSearch(ldap, container.dn(), LDAP_SCOPE_ONELEVEL, classFilterText(classFilter), classAttributes)
            .run([&](std::vector<LdapEntry>& page) {
                Batch batch;
                batch.reserve(page.size());
                for (LdapEntry& entry : page)
                    batch.emplace_back(container.path().withDn(entry.dn), std::move(entry.attributes), session);
                onBatch(batch);
            });
        return 0;
    });
}

QStringList LdapDirectory::members(const DirObject& group)
{
    RangedValues member(QStringLiteral("member"), memberRangeStep_);
    std::optional<QString> next
        = memberRangeStep_ > 0 ? std::optional(member.firstRequest()) : member.take(group.attributes());
    std::optional<DirectoryError> stopped;
    if (next) {
        const std::shared_ptr<Connection> connection = connectionFor(group);
        run(connection, [&](Connection& ldap) {
            while (next) {
                const LdapEntry range = readEntry(ldap, group.dn(), { *next });
                try {
                    next = member.take(range.attributes);
                } catch (const DirectoryError& error) {
                    stopped = error;
                    next.reset();
                }
            }
            return 0;
        });
    }
    // Each DN on the group's server (or none): whatever its text, it never names a server.
    QStringList paths;
    paths.reserve(member.values().size());
    for (const QByteArray& dn : member.values())
        paths.append(group.path().withDn(AttrValue::text(dn)).toString());
    if (stopped)
        throw IncompleteMembers(*stopped, std::move(paths));
    return paths;
}

std::vector<ReadResult> LdapDirectory::readEach(const QStringList& adsPaths, const QString& propertyName)
{
    const std::vector<PlannedRead> plan = planReads(adsPaths);
    std::vector<ReadResult> results(plan.size());
    // Paths are grouped by the connection that serves them; each group is read pipelined.
    QHash<QString, QList<qsizetype>> byUri;
    for (qsizetype i = 0; i < adsPaths.size(); ++i) {
        const PlannedRead& read = plan[static_cast<size_t>(i)];
        if (read.error)
            results[static_cast<size_t>(i)].error = read.error;
        else
            byUri[read.server].append(i);
    }
    // Only what Get reads: no class, which nobody asks of these objects, so each entry of a big
    // group costs one value to decode and keep.
    const QStringList attributes = DirObject::ldapAttributesFor(propertyName);
    std::vector<bool> answered(results.size(), false);
    for (auto group = byUri.constBegin(); group != byUri.constEnd(); ++group) {
        const QList<qsizetype>& indexes = group.value();
        QStringList dns;
        dns.reserve(indexes.size());
        for (const qsizetype index : indexes)
            dns.append(plan[static_cast<size_t>(index)].path.dn());
        try {
            const std::shared_ptr<Connection> connection
                = connectionFor(plan[static_cast<size_t>(indexes.constFirst())].path);
            run(connection, [&](Connection& ldap) {
                readEntries(ldap, dns, attributes, readWindow,
                    [&](qsizetype at, const LdapEntry* entry, const DirectoryError* error) {
                        const qsizetype index = indexes.at(at);
                        ReadResult& result = results[static_cast<size_t>(index)];
                        answered[static_cast<size_t>(index)] = true;
                        if (error)
                            result.error = *error;
                        else
                            result.value
                                = DirObject(plan[static_cast<size_t>(index)].path, entry->attributes).get(propertyName);
                    });
                return 0;
            });
        } catch (const DirectoryError& error) {
            // The connection failed: every read not answered yet fails the same way.
            for (const qsizetype index : indexes) {
                if (!answered[static_cast<size_t>(index)])
                    results[static_cast<size_t>(index)].error = error;
            }
        }
    }
    return results;
}

std::vector<ReadResult> LdapDirectory::readRelated(
    const QStringList& adsPaths, const QString& propertyName, const Related& related)
{
    const QString base = dn::domainPart(related.dn);
    if (base.isEmpty() || adsPaths.size() < 2)
        return readEach(adsPaths, propertyName);

    // The paths the search may serve: readable, on the server of the first one, each with a key
    // no other path shares (two values naming one entry are read one by one, as written). The
    // others get what readEach gives them, their errors too.
    const std::vector<PlannedRead> plan = planReads(adsPaths);
    const auto firstServed = std::ranges::find_if(plan, [](const PlannedRead& read) { return !read.error; });
    if (firstServed == plan.cend())
        return readEach(adsPaths, propertyName);
    const auto served = [&plan, &server = firstServed->server](qsizetype i) {
        const PlannedRead& read = plan[static_cast<size_t>(i)];
        return !read.error && read.server == server;
    };
    QHash<QString, qsizetype> indexByKey;
    for (qsizetype i = 0; i < adsPaths.size(); ++i) {
        if (!served(i))
            continue;
        const QString key = dn::comparisonKey(plan[static_cast<size_t>(i)].path.dn());
        const auto it = indexByKey.constFind(key);
        if (it == indexByKey.constEnd())
            indexByKey.insert(key, i);
        else
            indexByKey[key] = -1;
    }

    const QStringList attributes = DirObject::ldapAttributesFor(propertyName);
    // objectClass as well: a base read filters on it, so an entry whose class the reader may not
    // search is read one by one and fails or succeeds as it always has.
    const QString filter
        = QStringLiteral("(&(%1=%2)(objectClass=*))")
              .arg(related.kind == Related::Kind::MembersOf ? QStringLiteral("memberOf") : QStringLiteral("member"),
                  escapeFilterValue(related.dn));
    // Per path: how often the search returned its entry, and the value read from it. The entry
    // itself is dropped at once, so the entries of a big group never live side by side.
    std::vector<char> timesFound(static_cast<size_t>(adsPaths.size()), 0);
    std::vector<AttrValue> foundValues(static_cast<size_t>(adsPaths.size()));
    std::optional<DirectoryError> connectionFailure;
    try {
        const std::shared_ptr<Connection> connection = connectionFor(firstServed->path);
        try {
            run(connection, [&](Connection& ldap) {
                PagedSearch(ldap, base, LDAP_SCOPE_SUBTREE, filter, attributes).run([&](std::vector<LdapEntry>& page) {
                    for (LdapEntry& entry : page) {
                        const qsizetype index = indexByKey.value(dn::comparisonKey(entry.dn), -1);
                        if (index < 0)
                            continue;
                        char& times = timesFound[static_cast<size_t>(index)];
                        if (times == 0)
                            foundValues[static_cast<size_t>(index)]
                                = DirObject(plan[static_cast<size_t>(index)].path, std::move(entry.attributes))
                                      .get(propertyName);
                        times = times == 0 ? 1 : 2;
                    }
                });
                return 0;
            });
        } catch (const DirectoryError& error) {
            // A limit, a refused filter, a base the server does not hold: what came before the
            // failure is still right, the rest is read one by one. A lost connection fails
            // every read on it, as in readEach.
            if (!connection->isAlive())
                connectionFailure = error;
        }
    } catch (const DirectoryError& error) {
        connectionFailure = error;
    }

    std::vector<ReadResult> results(static_cast<size_t>(adsPaths.size()));
    QStringList rest;
    QList<qsizetype> restAt;
    for (qsizetype i = 0; i < adsPaths.size(); ++i) {
        ReadResult& result = results[static_cast<size_t>(i)];
        if (timesFound[static_cast<size_t>(i)] == 1) {
            result.value = std::move(foundValues[static_cast<size_t>(i)]);
        } else if (connectionFailure && served(i)) {
            result.error = *connectionFailure;
        } else {
            rest.append(adsPaths.at(i));
            restAt.append(i);
        }
    }
    if (!rest.isEmpty()) {
        std::vector<ReadResult> read = readEach(rest, propertyName);
        for (qsizetype k = 0; k < restAt.size(); ++k)
            results[static_cast<size_t>(restAt.at(k))] = std::move(read[static_cast<size_t>(k)]);
    }
    return results;
}

DirObject LdapDirectory::openDSObject(const QString& adsPath, const QString& user, const QString& password)
{
    const AdsPath parsed = AdsPath::parse(adsPath);
    if (!parsed.dn().isEmpty())
        checkDnSyntax(parsed.dn());
    const Servers servers = serversFor(parsed);
    std::shared_ptr<Connection> connection
        = Connection::open(servers.uri, servers.checked, Connection::Credentials { user, password }, options_);
    const AdsPath path = withDomainDn(parsed, *connection);
    LdapEntry entry = readEntry(*connection, path.dn(), bindAttributes);
    return DirObject(path, std::move(entry.attributes),
        std::make_shared<ObjectSession>(ObjectSession { id_, std::move(connection) }));
}

} // namespace directory
