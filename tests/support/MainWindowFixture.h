#pragma once

#include "AppFolderScope.h"
#include "DirectoryScope.h"
#include "MessageRecorder.h"
#include "UserActions.h"
#include "shell/frmMain.h"

#include <QTest>
#include <memory>
#include <optional>

// What the suites of the main window share, inherited beside QObject: a fresh app folder, every message
// box recorded, and the window built from its layout. Call startCase() from init() and endCase()
// from cleanup(); a box the case did not take off `recorder.boxes` fails it.
class MainWindowFixture {
protected:
    void startCase();
    // startCase(), then the window shown and active.
    void startCaseWithWindow();
    void endCase();

    std::optional<AppFolderScope> appFolder;
    std::unique_ptr<frmMain> window;
    MessageRecorder recorder;
};

// The browsing suites' base: the window shown with the login fields typed in, the message boxes
// recorded from then on, the save dialog answered from `dialog->answers`, and the directory a case
// puts in place. Call startBrowsing() from init() and endBrowsing() from cleanup(), which fails
// the case if the hourglass stayed up.
class BrowsingFixture {
protected:
    void startBrowsing(const QString& domain, const QString& account = QStringLiteral("someone"),
        const QString& password = QStringLiteral("secret"));
    void endBrowsing();
    // The current directory until the case ends.
    template <class D> D* useDirectory(std::unique_ptr<D> directory)
    {
        D* raw = directory.get();
        inPlace = std::make_unique<DirectoryScope<>>(std::move(directory));
        return raw;
    }

    std::unique_ptr<frmMain> window;
    std::unique_ptr<MessageRecorder> recorder;
    std::unique_ptr<browsertests::SaveDialogAnswers> dialog;
    std::unique_ptr<DirectoryScope<>> inPlace;
};
