// Browsing while the directory server goes away and comes back, on a private server.

#include "BrowserTests.h"
#include "ScratchDirectoryServer.h"
#include "TestDirectory.h"

#include <QLineEdit>

using namespace browsertests;
using TestDirectory::adsPath;

namespace {
// The one box: the server is down.
void verifyServerDownBox(const MessageRecorder& recorder)
{
    QCOMPARE(recorder.boxes.size(), 1);
    const QString& text = recorder.boxes.constFirst().text;
    QVERIFY2(
        text.startsWith(QString::number(directory::hresult::ServerDown) + QStringLiteral("\r\n")), qPrintable(text));
}
} // namespace

class ItServerDown : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        // Before anything in this process touches libldap: it reads LDAPCONF once.
        QVERIFY2(server.startForThisProcess(), qPrintable(server.lastError()));
    }

    void init()
    {
        QVERIFY2(server.serveAgain(), qPrintable(server.lastError()));
        window = openMainWindow(TestDirectory::domain, QStringLiteral("someone"), QStringLiteral("secret"));
    }
    void cleanup() { window.reset(); }

    void nodeClickWhileTheServerIsDownFailsOnceAndKeepsTheRest()
    {
        click(window->cmdConnect);
        QPersistentModelIndex root = topNode(window->tvNode, 0);
        QPersistentModelIndex sales = childWithKey(root, adsPath(TestDirectory::sales));
        clickNode(window->tvNode, sales);
        QCOMPARE(childCount(sales), 5);
        QPersistentModelIndex users = childWithKey(root, adsPath(TestDirectory::users));
        clickNode(window->tvNode, users);
        const int usersChildren = childCount(users);
        QVERIFY(usersChildren > 0);
        QVERIFY2(server.stop(), qPrintable(server.lastError()));

        MessageRecorder recorder;
        clickNode(window->tvNode, sales);

        verifyServerDownBox(recorder);
        QCOMPARE(recorder.boxes.constFirst().icon, platform::MessageIcon::Critical);
        QCOMPARE(currentCursor(), Qt::ArrowCursor);
        // Nothing is undone: the old children are gone, the list is empty, the rest stays.
        QCOMPARE(childCount(sales), 0);
        QCOMPARE(rowCount(window->lvList), 0);
        QCOMPARE(childKeys(root).size(), TestDirectory::rootListing.size());
        QCOMPARE(childCount(users), usersChildren);
        QVERIFY(!window->cmdConnect->isEnabled());

        QVERIFY2(server.restart(), qPrintable(server.lastError()));
        clickNode(window->tvNode, sales);

        QCOMPARE(recorder.boxes.size(), 1);
        QCOMPARE(childCount(sales), 5);
        QCOMPARE(listRows(window->lvList), rowsFor(serverChildren(TestDirectory::sales)));
    }

    void connectWhileTheServerIsDownLeavesTheRootAlone()
    {
        QVERIFY2(server.stop(), qPrintable(server.lastError()));
        MessageRecorder recorder;

        click(window->cmdConnect);

        verifyServerDownBox(recorder);
        QCOMPARE(rowCount(window->tvNode), 1);
        QCOMPARE(childCount(topNode(window->tvNode, 0)), 0);
        QVERIFY(window->cmdConnect->isEnabled());

        // After a failed connect the root node is still there to click, and the click lists.
        QVERIFY2(server.restart(), qPrintable(server.lastError()));
        clickNode(window->tvNode, topNode(window->tvNode, 0));
        QCOMPARE(recorder.boxes.size(), 1);
        QCOMPARE(childKeys(topNode(window->tvNode, 0)).size(), TestDirectory::rootListing.size());
        QVERIFY(window->cmdConnect->isEnabled());
    }

private:
    ScratchDirectoryServer server;
    std::unique_ptr<frmMain> window;
};

QTEST_MAIN(ItServerDown)
#include "it_ServerDown.moc"
