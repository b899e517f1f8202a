#pragma once

#include "platform/Testing.h"

#include <QString>
#include <QTemporaryDir>
#include <optional>

// An empty folder of its own for each case: renew() from init() drops the last case's folder.
class CaseFolder {
public:
    [[nodiscard]] bool renew() { return folder.emplace().isValid(); }
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
    Q_DISABLE_COPY_MOVE(AppFolderScope)

    bool isValid() const { return folder.isValid(); }
    // Makes the subfolder `name` the program's folder; false when it could not be made.
    [[nodiscard]] bool moveInto(const QString& name);
    QString path() const { return folder.path(); }
    QString filePath(const QString& name) const { return folder.filePath(name); }

private:
    QTemporaryDir folder;
};

// The _data column "folder": names CP932 cannot hold, one row for each way of failing.
void foldersCp932CannotNameRows();
