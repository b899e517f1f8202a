#pragma once

#include "directory/Directory.h"

#include <QHash>
#include <QList>

// A directory held in memory, with the same interface as the LDAP one, for the cases a real
// server cannot produce: a class spelled "User", a failure injected at a chosen object or after
// a chosen number of children.
class InMemoryDirectory : public directory::Directory {
public:
    // Adds an entry; its parent is the DN without the first RDN. Attributes by LDAP name.
    void add(const QString& dn, const QStringList& objectClasses, const QHash<QString, QStringList>& attributes = {});
    // Every bind (and read) of this DN fails with the error.
    void failBind(const QString& dn, const directory::DirectoryError& error) { bindFailures_.insert(keyOf(dn), error); }
    // Enumerating the children of this DN fails after `delivered` children.
    void failEnumeration(const QString& dn, int delivered, const directory::DirectoryError& error)
    {
        enumerationFailures_.insert(keyOf(dn), EnumerationFailure { delivered, error });
    }

    // Every path bound so far, in order (readEach counts too).
    const QStringList& boundPaths() const { return boundPaths_; }
    int enumerationCount() const { return enumerationCount_; }

    directory::DirObject bind(const QString& adsPath) override;
    void enumerate(const directory::DirObject& container, const QStringList& classFilter,
        const std::function<void(const Batch&)>& onBatch) override;
    QStringList members(const directory::DirObject& group) override;
    std::vector<directory::ReadResult> readEach(const QStringList& adsPaths, const QString& propertyName) override;
    directory::DirObject openDSObject(const QString& adsPath, const QString& user, const QString& password) override;

    // Credentials openDSObject accepts; any other pair fails with a logon failure.
    void acceptCredentials(const QString& user, const QString& password);

private:
    struct Entry {
        QString dn;
        directory::DirObject::Attributes attributes;
        QStringList children; // keys, in insertion order
    };
    static QString keyOf(const QString& dn) { return dn.toLower(); }
    const Entry& entryAt(const directory::AdsPath& path) const;

    QHash<QString, Entry> entries_;
    QHash<QString, directory::DirectoryError> bindFailures_;
    struct EnumerationFailure {
        int delivered;
        directory::DirectoryError error;
    };
    QHash<QString, EnumerationFailure> enumerationFailures_;
    QStringList boundPaths_;
    int enumerationCount_ = 0;
    QString acceptedUser_;
    QString acceptedPassword_;
};
