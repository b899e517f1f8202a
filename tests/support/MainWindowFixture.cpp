#include "MainWindowFixture.h"

void MainWindowFixture::startCase()
{
    appFolder.emplace();
    QVERIFY(appFolder->isValid());
    recorder.boxes.clear();
}

void MainWindowFixture::startCaseWithWindow()
{
    startCase();
    window = std::make_unique<frmMain>();
    window->show();
    QVERIFY(QTest::qWaitForWindowActive(window.get()));
}

void MainWindowFixture::endCase()
{
    window.reset();
    QVERIFY2(recorder.boxes.isEmpty(), qPrintable(recorder.texts().join(u'|')));
    recorder.boxes.clear();
    appFolder.reset();
}

void BrowsingFixture::startBrowsing(const QString& domain, const QString& account, const QString& password)
{
    window = browsertests::openMainWindow(domain, account, password);
    recorder = std::make_unique<MessageRecorder>();
    dialog = std::make_unique<browsertests::SaveDialogAnswers>();
}

void BrowsingFixture::endBrowsing()
{
    dialog.reset();
    recorder.reset();
    window.reset();
    inPlace.reset();
    QCOMPARE(currentCursor(), Qt::ArrowCursor);
}
