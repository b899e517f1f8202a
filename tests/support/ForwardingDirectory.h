#pragma once

#include "directory/Directory.h"

// A directory that passes every operation to `inner`; a test overrides only the one it changes,
// so the rest behave exactly as the real or in-memory directory does. readRelated is Directory's,
// through this readEach: over the LDAP directory, reads one by one instead of its relation search.
template <class Inner> class ForwardingDirectory : public directory::Directory {
public:
    directory::DirObject bind(const QString& adsPath) override { return inner.bind(adsPath); }
    void enumerate(const directory::DirObject& container, const QStringList& classFilter,
        const std::function<void(const Batch&)>& onBatch) override
    {
        inner.enumerate(container, classFilter, onBatch);
    }
    QStringList members(const directory::DirObject& group) override { return inner.members(group); }
    std::vector<directory::ReadResult> readEach(const QStringList& adsPaths, const QString& propertyName) override
    {
        return inner.readEach(adsPaths, propertyName);
    }
    directory::DirObject openDSObject(const QString& adsPath, const QString& user, const QString& password) override
    {
        return inner.openDSObject(adsPath, user, password);
    }

    Inner inner;
};
