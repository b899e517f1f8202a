#pragma once

// Helpers of the probe tests: a main window whose message boxes are recorded, and a directory
// that records what a probe asked of the directory it stands in front of.

#include "AppFolderScope.h"
#include "MessageRecorder.h"
#include "directory/Directory.h"
#include "platform/AppInfo.h"
#include "platform/MessageBox.h"
#include "shell/frmMain.h"

#include <QObject>
#include <QPushButton>
#include <QTest>
#include <memory>

namespace probetests {

// A main window over a fresh application directory, recording every message box while it lives.
class ProbeWindow : public MessageRecorder {
public:
    // Raises the click event of CommandN, as the connected button does.
    void click(int n)
    {
        auto* button = window->findChild<QPushButton*>(QStringLiteral("Command%1").arg(n));
        QVERIFY(button);
        button->click();
    }
    QString iniPath() const { return appDir.filePath(QStringLiteral("larchfen.ini")); }

    AppFolderScope appDir;
    std::unique_ptr<frmMain> window = std::make_unique<frmMain>();
};

// The probe suites' base: a fresh ProbeWindow for each case, no directory left from the last.
class ProbeSuite : public QObject {
    Q_OBJECT
private slots:
    void init()
    {
        probe = std::make_unique<ProbeWindow>();
        directory::setCurrentDirectory(nullptr);
    }
    void cleanup()
    {
        probe.reset();
        directory::setCurrentDirectory(nullptr);
    }

protected:
    std::unique_ptr<ProbeWindow> probe;
};

// Stands in front of another directory and records each call: what was asked, and whether it
// failed. install() makes it the current directory; setCurrentDirectory(nullptr) ends it.
class RecordingDirectory : public directory::Directory {
public:
    struct Enumeration {
        QString dn;
        QStringList classFilter;
        int children = 0;
    };
    struct OpenCall {
        QString path;
        QString user;
        QString password;
        bool failed = false;
    };

    static RecordingDirectory* install(std::unique_ptr<directory::Directory> inner)
    {
        auto recorder = std::unique_ptr<RecordingDirectory>(new RecordingDirectory(std::move(inner)));
        RecordingDirectory* raw = recorder.get();
        directory::setCurrentDirectory(std::move(recorder));
        return raw;
    }

    QStringList boundPaths;
    QStringList failedBinds;
    QList<Enumeration> enumerations;
    QList<OpenCall> opens;

    directory::DirObject bind(const QString& adsPath) override
    {
        boundPaths.append(adsPath);
        try {
            return inner->bind(adsPath);
        } catch (const directory::DirectoryError&) {
            failedBinds.append(adsPath);
            throw;
        }
    }
    void enumerate(const directory::DirObject& container, const QStringList& classFilter,
        const std::function<void(const Batch&)>& onBatch) override
    {
        enumerations.append({ container.dn(), classFilter });
        inner->enumerate(container, classFilter, [&](const Batch& batch) {
            enumerations.last().children += static_cast<int>(batch.size());
            onBatch(batch);
        });
    }
    QStringList members(const directory::DirObject& group) override { return inner->members(group); }
    std::vector<directory::ReadResult> readEach(const QStringList& adsPaths, const QString& propertyName) override
    {
        return inner->readEach(adsPaths, propertyName);
    }
    directory::DirObject openDSObject(const QString& adsPath, const QString& user, const QString& password) override
    {
        opens.append({ adsPath, user, password });
        try {
            return inner->openDSObject(adsPath, user, password);
        } catch (const directory::DirectoryError&) {
            opens.last().failed = true;
            throw;
        }
    }

private:
    explicit RecordingDirectory(std::unique_ptr<directory::Directory> inner)
        : inner(std::move(inner))
    { }

    std::unique_ptr<directory::Directory> inner;
};

} // namespace probetests
