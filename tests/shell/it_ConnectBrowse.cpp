// Connect, Disconnect and node clicks through the real window against the test directory.

#include "BrowseCases.h"
#include "BrowserTests.h"
#include "MainWindowFixture.h"
#include "TestDirectory.h"
#include "directory/Dn.h"

#include <QLineEdit>

using namespace browsertests;
using platform::MessageIcon;
using TestDirectory::adsPath;

namespace {
const QString rootKey = QStringLiteral("LDAP://DC=example,DC=test");
// The nodes after Connect: the root and its children.
const int rootNodes = 1 + int(TestDirectory::rootListing.size());

QStringList adsPaths(const QStringList& dns)
{
    QStringList paths;
    for (const QString& dn : dns)
        paths.append(adsPath(dn));
    return paths;
}
} // namespace

class ItConnectBrowse : public QObject, BrowsingFixture {
    Q_OBJECT

private slots:
    void init() { startBrowsing(TestDirectory::domain); }
    void cleanup() { endBrowsing(); }

    void connectListsTheRootsChildrenInServerOrder()
    {
        verifyConnectListsTheRoot(*window, *recorder, TestDirectory::domain, TestDirectory::base);
        if (QTest::currentTestFailed())
            return;

        const QPersistentModelIndex root = topNode(window->tvNode, 0);
        QCOMPARE(keyOf(root), rootKey);
        const QList<Row> rows = listRows(window->lvList);
        QCOMPARE(tagsOf(rows), adsPaths(TestDirectory::rootListing));
        QCOMPARE(rows.constFirst().no, QStringLiteral("1"));
        QCOMPARE(rows.constLast().no, QString::number(TestDirectory::rootListing.size()));
        // Tree and list agree, node by row.
        QCOMPARE(childTexts(root), namesOf(rows));
        QCOMPARE(nodeCount(window->tvNode), rootNodes);
        // Nothing outside the five classes, nothing expanded or selected by the listing.
        QVERIFY(!childKeys(root).contains(adsPath(TestDirectory::builtin)));
        QVERIFY(!childKeys(root).contains(adsPath(TestDirectory::rootContact)));
        QVERIFY(!window->tvNode->isExpanded(root));
        QVERIFY(window->tvNode->selectionModel()->selectedIndexes().isEmpty());
    }

    void nodeClickListsOneLevel()
    {
        click(window->cmdConnect);
        QPersistentModelIndex root = topNode(window->tvNode, 0);
        QPersistentModelIndex sales = childWithKey(root, adsPath(TestDirectory::sales));
        QVERIFY(sales.isValid());

        clickNode(window->tvNode, sales);

        QVERIFY(recorder->boxes.isEmpty());
        const QList<Row> rows = listRows(window->lvList);
        QCOMPARE(rows, rowsFor(serverChildren(TestDirectory::sales)));
        QCOMPARE(rows.size(), 5);
        QCOMPARE(childKeys(sales), tagsOf(rows));
        QCOMPARE(childTexts(sales), namesOf(rows));
        // One level only: the new children have none, and the rest of the tree is as it was.
        for (int i = 0; i < childCount(sales); ++i)
            QCOMPARE(childCount(child(sales, i)), 0);
        QCOMPARE(childKeys(root), adsPaths(TestDirectory::rootListing));
        QCOMPARE(nodeCount(window->tvNode), rootNodes + 5);
    }

    void secondClickGivesTheSameChildrenOnceAndNoGrandchildren()
    {
        QPersistentModelIndex sales = connectAndFind(TestDirectory::sales);
        clickNode(window->tvNode, sales);
        const QStringList firstKeys = childKeys(sales);
        const QList<Row> firstRows = listRows(window->lvList);
        clickNode(window->tvNode, childWithKey(sales, adsPath(TestDirectory::tokyo)));
        QCOMPARE(listRows(window->lvList).size(), 3);

        clickNode(window->tvNode, sales);

        QVERIFY(recorder->boxes.isEmpty());
        QCOMPARE(childKeys(sales), firstKeys);
        QCOMPARE(listRows(window->lvList), firstRows);
        QCOMPARE(childCount(childWithKey(sales, adsPath(TestDirectory::tokyo))), 0);
        QCOMPARE(nodeCount(window->tvNode), rootNodes + 5);
        // The grandchildren's keys went with them: a listing of one of them finds no node.
        QVERIFY(!window->ListObjects(adsPath(TestDirectory::satoHanako), QString()));
        verifyOneErrorBox(QStringLiteral("35601\r\n要素が見つかりません。"));
    }

    void clickingTheRootListsItAgainUnderTheSameNode()
    {
        click(window->cmdConnect);
        QPersistentModelIndex root = topNode(window->tvNode, 0);
        clickNode(window->tvNode, childWithKey(root, adsPath(TestDirectory::sales)));

        clickNode(window->tvNode, root);

        QVERIFY(recorder->boxes.isEmpty());
        QCOMPARE(rowCount(window->tvNode), 1);
        QCOMPARE(topNode(window->tvNode, 0), root);
        QCOMPARE(childKeys(root), adsPaths(TestDirectory::rootListing));
        QCOMPARE(nodeCount(window->tvNode), rootNodes);
        QCOMPARE(tagsOf(listRows(window->lvList)), adsPaths(TestDirectory::rootListing));
    }

    void bigContainerListsEveryChild()
    {
        QPersistentModelIndex bulk = connectAndFind(TestDirectory::bulkOu);

        clickNode(window->tvNode, bulk);

        QVERIFY(recorder->boxes.isEmpty());
        const QList<Row> rows = listRows(window->lvList);
        QCOMPARE(rows.size(), TestDirectory::bulkListedChildren);
        for (int k = 1; k <= TestDirectory::bulkListedChildren; ++k) {
            const Row& row = rows.at(k - 1);
            QCOMPARE(row.no, QString::number(k));
            QCOMPARE(row.className, TestDirectory::bulkChildClass(k));
            QCOMPARE(row.tag, adsPath(TestDirectory::bulkChildDn(k)));
        }
        QCOMPARE(childKeys(bulk), tagsOf(rows));
    }

    void clickingAUserListsWhatTheDirectoryReports()
    {
        QPersistentModelIndex user = connectAndFind(TestDirectory::takahashiNaoko);

        clickNode(window->tvNode, user);

        QVERIFY(recorder->boxes.isEmpty());
        QCOMPARE(childCount(user), 0);
        QVERIFY(listRows(window->lvList).isEmpty());
    }

    void containerOfOtherClassesOnlyListsNothing()
    {
        click(window->cmdConnect);
        QPersistentModelIndex root = topNode(window->tvNode, 0);
        clickNode(window->tvNode, child(root, 0));
        QVERIFY(rowCount(window->lvList) > 0);
        QPersistentModelIndex contacts = childWithKey(root, adsPath(TestDirectory::contactOnlyOu));

        clickNode(window->tvNode, contacts);

        QVERIFY(recorder->boxes.isEmpty());
        QCOMPARE(childCount(contacts), 0);
        QCOMPARE(rowCount(window->lvList), 0);
    }

    void failingDomainLeavesTheRootAlone_data()
    {
        QTest::addColumn<QString>("domain");
        QTest::addColumn<QString>("rootPath");
        QTest::addColumn<int>("number");
        QTest::newRow("no such domain") << QStringLiteral("nosuch.test") << QStringLiteral("LDAP://DC=nosuch,DC=test")
                                        << directory::hresult::NoSuchObject;
        QTest::newRow("ends in a dot") << QStringLiteral("example.") << QStringLiteral("LDAP://DC=example,DC=")
                                       << directory::hresult::InvalidDnSyntax;
        QTest::newRow("no dot") << QStringLiteral("example") << QStringLiteral("LDAP://DC=example")
                                << directory::hresult::NoSuchObject;
    }
    void failingDomainLeavesTheRootAlone()
    {
        QFETCH(QString, domain);
        QFETCH(QString, rootPath);
        QFETCH(int, number);
        QCOMPARE(directory::dn::rootPath(domain), rootPath);
        QString expected;
        try {
            directory::currentDirectory().bind(rootPath);
        } catch (const directory::DirectoryError& error) {
            expected = error.reportText();
            QCOMPARE(error.number(), number);
        }
        QVERIFY2(!expected.isEmpty(), "the test directory binds a path the test expected to fail");
        window->txtDomain->setText(domain);

        click(window->cmdConnect);

        verifyOneErrorBox(expected);
        QCOMPARE(currentCursor(), Qt::ArrowCursor);
        QCOMPARE(rowCount(window->tvNode), 1);
        QCOMPARE(text(topNode(window->tvNode, 0)), domain);
        QCOMPARE(keyOf(topNode(window->tvNode, 0)), rootPath);
        QCOMPARE(childCount(topNode(window->tvNode, 0)), 0);
        QCOMPARE(rowCount(window->lvList), 0);
        verifyLoginFieldsEnabled(true);
    }

    void connectAfterAFailedConnectStartsAFreshTree()
    {
        window->txtDomain->setText(QStringLiteral("nosuch.test"));
        click(window->cmdConnect);
        QCOMPARE(recorder->boxes.size(), 1);
        window->txtDomain->setText(TestDirectory::domain);

        click(window->cmdConnect);

        QCOMPARE(recorder->boxes.size(), 1);
        QCOMPARE(rowCount(window->tvNode), 1);
        QCOMPARE(keyOf(topNode(window->tvNode, 0)), rootKey);
        QCOMPARE(childKeys(topNode(window->tvNode, 0)), adsPaths(TestDirectory::rootListing));
        QVERIFY(!window->cmdConnect->isEnabled());
    }

    void missingFieldsAreAskedForInOrder()
    {
        const CountedDirectory directory;
        for (QLineEdit* field : { window->txtDomain, window->txtAccount, window->txtPassWord })
            field->clear();

        click(window->cmdConnect);
        window->txtDomain->setText(TestDirectory::domain);
        click(window->cmdConnect);
        window->txtAccount->setText(QStringLiteral("someone"));
        click(window->cmdConnect);

        const QStringList fields { QStringLiteral("domain"), QStringLiteral("account"), QStringLiteral("password") };
        QCOMPARE(recorder->boxes.size(), fields.size());
        for (int i = 0; i < fields.size(); ++i) {
            QCOMPARE(recorder->boxes.at(i).text, fields.at(i) + QStringLiteral("を指定してください。"));
            QCOMPARE(recorder->boxes.at(i).icon, MessageIcon::Warning);
            QCOMPARE(recorder->boxes.at(i).cursor, Qt::ArrowCursor);
        }
        QCOMPARE(directory.calls(), 0);
        QCOMPARE(rowCount(window->tvNode), 0);
        QVERIFY(window->cmdConnect->isEnabled());
    }

    void emptyDomainIsAskedForEvenWithTheOthersMissing()
    {
        window->txtDomain->clear();
        window->txtPassWord->clear();
        click(window->cmdConnect);
        QCOMPARE(recorder->boxes.size(), 1);
        QCOMPARE(recorder->boxes.constFirst().text, QStringLiteral("domainを指定してください。"));
    }

    void missingFieldLeavesTheTreeOfAFailedConnect()
    {
        window->txtDomain->setText(QStringLiteral("nosuch.test"));
        click(window->cmdConnect);
        window->txtPassWord->clear();

        click(window->cmdConnect);

        QCOMPARE(recorder->boxes.size(), 2);
        QCOMPARE(recorder->boxes.at(1).text, QStringLiteral("passwordを指定してください。"));
        QCOMPARE(rowCount(window->tvNode), 1);
    }

    void blankAccountAndPasswordAreAccepted()
    {
        window->txtAccount->setText(QStringLiteral(" "));
        window->txtPassWord->setText(QStringLiteral("   "));

        click(window->cmdConnect);

        QVERIFY(recorder->boxes.isEmpty());
        QCOMPARE(childKeys(topNode(window->tvNode, 0)), adsPaths(TestDirectory::rootListing));
        QVERIFY(!window->cmdConnect->isEnabled());
        QCOMPARE(window->txtPassWord->text(), QStringLiteral("   "));
    }

    void connectLocksTheLoginFieldsOnly()
    {
        click(window->cmdConnect);

        verifyLoginFieldsEnabled(false);
        QVERIFY(window->cmdDisConect->isEnabled());
        QVERIFY(window->tvNode->isEnabled());
        // The tree is still used: a click lists.
        clickNode(window->tvNode, childWithKey(topNode(window->tvNode, 0), adsPath(TestDirectory::users)));
        QCOMPARE(listRows(window->lvList), rowsFor(serverChildren(TestDirectory::users)));
        QVERIFY(!window->cmdConnect->isEnabled());
    }

    void pathOfNoNodeEmptiesTheListAndKeepsTheRest()
    {
        click(window->cmdConnect);
        const int nodes = nodeCount(window->tvNode);
        const CountedDirectory directory;

        QVERIFY(!window->ListObjects(QStringLiteral("LDAP://cn=not there,dc=example,dc=test"), QString()));

        QCOMPARE(directory.calls(), 0);
        verifyOneErrorBox(QStringLiteral("35601\r\n要素が見つかりません。"));
        QCOMPARE(rowCount(window->lvList), 0);
        QCOMPARE(nodeCount(window->tvNode), nodes);
        verifyLoginFieldsEnabled(false);
    }

    void disconnectEmptiesAndUnlocksWithoutTheDirectory()
    {
        clickNode(window->tvNode, connectAndFind(TestDirectory::sales));
        const CountedDirectory directory;

        click(window->cmdDisConect);

        QCOMPARE(directory.calls(), 0);
        QVERIFY(recorder->boxes.isEmpty());
        QCOMPARE(rowCount(window->tvNode), 0);
        QCOMPARE(rowCount(window->lvList), 0);
        verifyLoginFieldsEnabled(true);
        QCOMPARE(window->txtDomain->text(), TestDirectory::domain);
        QCOMPARE(window->txtAccount->text(), QStringLiteral("someone"));
        QCOMPARE(window->txtPassWord->text(), QStringLiteral("secret"));
    }

    void connectAfterDisconnectUsesTheSameTexts()
    {
        click(window->cmdConnect);
        click(window->cmdDisConect);

        click(window->cmdConnect);

        QVERIFY(recorder->boxes.isEmpty());
        QCOMPARE(rowCount(window->tvNode), 1);
        QCOMPARE(childKeys(topNode(window->tvNode, 0)), adsPaths(TestDirectory::rootListing));
        QVERIFY(!window->cmdConnect->isEnabled());
    }

    void disconnectBeforeConnectChangesNothing()
    {
        click(window->cmdDisConect);

        QVERIFY(recorder->boxes.isEmpty());
        QCOMPARE(rowCount(window->tvNode), 0);
        QCOMPARE(rowCount(window->lvList), 0);
        verifyLoginFieldsEnabled(true);
    }

private:
    QPersistentModelIndex connectAndFind(const QString& dn)
    {
        click(window->cmdConnect);
        return childWithKey(topNode(window->tvNode, 0), adsPath(dn));
    }

    // The one error box, up over the hourglass.
    void verifyOneErrorBox(const QString& text)
    {
        QCOMPARE(recorder->boxes.size(), 1);
        QCOMPARE(recorder->boxes.constFirst().text, text);
        QCOMPARE(recorder->boxes.constFirst().icon, MessageIcon::Critical);
        QCOMPARE(recorder->boxes.constFirst().cursor, Qt::WaitCursor);
    }

    // The three login fields and Connect, which Connect locks and Disconnect unlocks together.
    void verifyLoginFieldsEnabled(bool enabled)
    {
        for (const QWidget* field : std::initializer_list<const QWidget*> {
                 window->txtDomain, window->txtAccount, window->txtPassWord, window->cmdConnect })
            QVERIFY2(field->isEnabled() == enabled, qPrintable(field->objectName()));
    }
};

QTEST_MAIN(ItConnectBrowse)
#include "it_ConnectBrowse.moc"
