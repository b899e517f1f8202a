#include "InMemoryDirectory.h"

#include "directory/Dn.h"

using directory::AdsPath;
using directory::DirectoryError;
using directory::DirObject;

void InMemoryDirectory::add(
    const QString& dn, const QStringList& objectClasses, const QHash<QString, QStringList>& attributes)
{
    Entry entry;
    entry.dn = dn;
    for (const QString& objectClass : objectClasses)
        entry.attributes[QStringLiteral("objectclass")].append(objectClass.toUtf8());
    for (auto it = attributes.constBegin(); it != attributes.constEnd(); ++it) {
        QList<QByteArray>& values = entry.attributes[it.key().toLower()];
        for (const QString& value : it.value())
            values.append(value.toUtf8());
    }
    const QString rdn = directory::dn::firstRdn(dn);
    if (rdn.size() < dn.size()) {
        const QString parent = keyOf(dn.mid(rdn.size() + 1));
        auto it = entries_.find(parent);
        if (it != entries_.end())
            it->children.append(keyOf(dn));
    }
    entries_.insert(keyOf(dn), std::move(entry));
}

void InMemoryDirectory::acceptCredentials(const QString& user, const QString& password)
{
    acceptedUser_ = user;
    acceptedPassword_ = password;
}

const InMemoryDirectory::Entry& InMemoryDirectory::entryAt(const AdsPath& path) const
{
    const QString key = keyOf(path.dn());
    const auto failure = bindFailures_.constFind(key);
    if (failure != bindFailures_.constEnd())
        throw *failure;
    const auto it = entries_.constFind(key);
    if (it == entries_.constEnd())
        throw DirectoryError(directory::hresult::NoSuchObject, QStringLiteral("オブジェクトがありません。"));
    return *it;
}

DirObject InMemoryDirectory::bind(const QString& adsPath)
{
    boundPaths_.append(adsPath);
    const AdsPath path = AdsPath::parse(adsPath);
    return DirObject(path, entryAt(path).attributes);
}

void InMemoryDirectory::enumerate(
    const DirObject& container, const QStringList& classFilter, const std::function<void(const Batch&)>& onBatch)
{
    ++enumerationCount_;
    const Entry& parent = entryAt(container.path());
    const auto failure = enumerationFailures_.constFind(keyOf(container.dn()));
    Batch batch;
    for (const QString& key : parent.children) {
        if (failure != enumerationFailures_.constEnd() && static_cast<int>(batch.size()) == failure->delivered) {
            onBatch(batch);
            throw failure->error;
        }
        const Entry& child = entries_.value(key);
        bool wanted = classFilter.isEmpty();
        for (const QByteArray& objectClass : child.attributes.value(QStringLiteral("objectclass"))) {
            wanted = wanted || classFilter.contains(QString::fromUtf8(objectClass), Qt::CaseInsensitive);
        }
        if (wanted)
            batch.emplace_back(container.path().withDn(child.dn), child.attributes);
    }
    if (!batch.empty())
        onBatch(batch);
}

QStringList InMemoryDirectory::members(const DirObject& group)
{
    QStringList paths;
    for (const QByteArray& dn : group.rawValues(QStringLiteral("member")))
        paths.append(group.path().withDn(QString::fromUtf8(dn)).toString());
    return paths;
}

std::vector<directory::ReadResult> InMemoryDirectory::readEach(const QStringList& adsPaths, const QString& propertyName)
{
    std::vector<directory::ReadResult> results;
    for (const QString& path : adsPaths) {
        directory::ReadResult result;
        try {
            result.value = bind(path).get(propertyName);
        } catch (const DirectoryError& error) {
            result.error = error;
        }
        results.push_back(std::move(result));
    }
    return results;
}

DirObject InMemoryDirectory::openDSObject(const QString& adsPath, const QString& user, const QString& password)
{
    if (acceptedUser_.isEmpty() || user != acceptedUser_ || password != acceptedPassword_)
        throw DirectoryError(directory::hresult::LogonFailure,
            QStringLiteral("ログオン失敗: ユーザー名またはパスワードが正しくありません。"));
    return bind(adsPath);
}
