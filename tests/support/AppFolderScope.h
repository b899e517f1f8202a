#pragma once

#include "platform/Testing.h"

#include <QTemporaryDir>
#include <optional>

// An empty folder of its own for each case: renew() from init() drops the last case's folder.
class CaseFolder {
public:
    [[nodiscard]] bool renew()
    {
        folder.emplace();
        return folder->isValid();
    }
    QString path() const { return folder->path(); }
    QString filePath(const QString& name) const { return folder->filePath(name); }

private:
    std::optional<QTemporaryDir> folder;
};

// A fresh folder standing in for the program's own (data.ini, the probes' files) while the
// scope lives; the real one comes back at its end.
class AppFolderScope {
public:
    AppFolderScope() { platform::testing::setAppPath(folder.path()); }
    ~AppFolderScope() { platform::testing::setAppPath(QString()); }
    AppFolderScope(const AppFolderScope&) = delete;
    AppFolderScope& operator=(const AppFolderScope&) = delete;

    bool isValid() const { return folder.isValid(); }
    QString path() const { return folder.path(); }
    QString filePath(const QString& name) const { return folder.filePath(name); }

private:
    QTemporaryDir folder;
};
