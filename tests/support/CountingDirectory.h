#pragma once

#include "DirectoryScope.h"
#include "directory/Directory.h"

#include <memory>

namespace browsertests {

// Passes every call on to the directory that was in place and counts them (readRelated as one
// readEach).
class CountingDirectory : public directory::Directory {
public:
    directory::DirObject bind(const QString& adsPath) override
    {
        ++calls;
        return inner->bind(adsPath);
    }
    void enumerate(const directory::DirObject& container, const QStringList& classFilter,
        const std::function<void(const Batch&)>& onBatch) override
    {
        ++calls;
        inner->enumerate(container, classFilter, onBatch);
    }
    QStringList members(const directory::DirObject& group) override
    {
        ++calls;
        return inner->members(group);
    }
    std::vector<directory::ReadResult> readEach(const QStringList& adsPaths, const QString& propertyName) override
    {
        ++calls;
        return inner->readEach(adsPaths, propertyName);
    }
    directory::DirObject openDSObject(const QString& adsPath, const QString& user, const QString& password) override
    {
        ++calls;
        return inner->openDSObject(adsPath, user, password);
    }

    directory::Directory* inner = nullptr;
    int calls = 0;
};

// Puts a counting directory in front of the current one for as long as it lives.
class CountedDirectory {
public:
    CountedDirectory() { scope.directory->inner = scope.previous(); }

    int calls() const { return scope.directory->calls; }

private:
    // Makes sure there is a current directory to stand in front of.
    static std::unique_ptr<CountingDirectory> inFront()
    {
        directory::currentDirectory();
        return std::make_unique<CountingDirectory>();
    }

    DirectoryScope<CountingDirectory> scope { inFront() };
};

} // namespace browsertests
