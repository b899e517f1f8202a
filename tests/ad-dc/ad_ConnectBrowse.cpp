// The main window against a real Active Directory (Samba's), bound with the test account's
// Kerberos ticket: Connect, a click on CN=Users, nodes with escaped DNs, the export.
#include "AdDc.h"
#include "BrowseCases.h"
#include "BrowserTests.h"
#include "MainWindowFixture.h"

#include "details/frmDet.h"

#include <QLineEdit>
#include <QProcess>
#include <QTabWidget>
#include <QTemporaryDir>

using namespace browsertests;
using platform::MessageIcon;

namespace {

// A name typed into the account field: the DC's audit must never see it.
const QString typedAccount = QStringLiteral("mivora-field-probe");
const QString typedPassword = QStringLiteral("Probe-Passw0rd!");

// CP932 of `text` by iconv, apart from the program's own encoder.
QByteArray iconvCp932(const QString& text)
{
    QProcess iconv;
    iconv.start(QStringLiteral("iconv"),
        { QStringLiteral("-f"), QStringLiteral("UTF-8"), QStringLiteral("-t"), QStringLiteral("CP932") });
    iconv.write(text.toUtf8());
    iconv.closeWriteChannel();
    if (!iconv.waitForFinished(30000) || iconv.exitCode() != 0)
        return {};
    return iconv.readAllStandardOutput();
}

} // namespace

class AdConnectBrowse : public QObject, BrowsingFixture {
    Q_OBJECT

private slots:
    void init()
    {
        AD_DC_SKIP_UNLESS_RUNNING();
        startBrowsing(AdDc::domain, typedAccount, typedPassword);
    }
    void cleanup() { endBrowsing(); }

    void connectListsTheDomainRootsChildrenOfTheFiveClasses()
    {
        const qsizetype logBefore = AdDc::dcLog().size();
        verifyConnectListsTheRoot(*window, *recorder, AdDc::domain, AdDc::base);
        if (QTest::currentTestFailed())
            return;
        const QList<Row> rows = listRows(window->lvList);

        const Row* users = rowWithDn(rows, AdDc::users);
        QVERIFY(users);
        QCOMPARE(users->className, QStringLiteral("container"));
        QCOMPARE(users->name, QStringLiteral("CN=Users"));
        const Row* controllers = rowWithDn(rows, AdDc::domainControllers);
        QVERIFY(controllers);
        QCOMPARE(controllers->className, QStringLiteral("organizationalUnit"));
        QCOMPARE(controllers->name, QStringLiteral("OU=Domain Controllers"));
        for (const QString& dn : { AdDc::computers, AdDc::system, AdDc::sales, AdDc::emptyOu, AdDc::bulkOu })
            QVERIFY2(rowWithDn(rows, dn), qPrintable(dn));
        // Not of the five classes, or not an entry at all (the references to other partitions).
        for (const QString& dn : { AdDc::builtin, AdDc::lostAndFound, AdDc::infrastructure, AdDc::rootContact })
            QVERIFY2(!rowWithDn(rows, dn), qPrintable(dn));
        for (const QString& partition : AdDc::referredPartitions)
            QVERIFY(!rowWithDn(rows, partition));
        for (const Row& row : rows)
            QVERIFY2(!row.tag.contains(QStringLiteral("example.test/")), qPrintable(row.tag));

        // The bind was the ticket's: the DC saw the test account by Kerberos, and never the
        // account or the password of the fields.
        const QByteArray log = AdDc::dcLog().mid(logBefore);
        QVERIFY2(log.contains("[LDAP,krb5] user [EXAMPLE]\\[mivora-tester]"), log.constData());
        QVERIFY(!log.contains(typedAccount.toUtf8()));
        QVERIFY(!log.contains(typedPassword.toUtf8()));
        QCOMPARE(AdDc::passwordBindsIn(log), QList<QByteArray>());
    }

    void clickOnUsersListsItsUsersAndGroups()
    {
        click(window->cmdConnect);
        QPersistentModelIndex users = childWithKey(topNode(window->tvNode, 0), AdDc::adsPath(AdDc::users));
        QVERIFY(users.isValid());

        clickNode(window->tvNode, users);

        QVERIFY(recorder->boxes.isEmpty());
        const QList<Row> rows = listRows(window->lvList);
        QCOMPARE(rows, rowsFor(serverChildren(AdDc::users)));
        QCOMPARE(childKeys(users), tagsOf(rows));
        const QList<std::pair<QString, QString>> expected { { AdDc::tester, "user" }, { AdDc::tanakaMinoru, "user" },
            { AdDc::yamadaJiro, "user" }, { AdDc::suzukiEquals, "user" }, { AdDc::takahashiHash, "user" },
            { AdDc::allStaff, "group" }, { AdDc::projectA, "group" }, { AdDc::domainUsers, "group" },
            { QStringLiteral("CN=Administrator,CN=Users,DC=example,DC=test"), "user" } };
        for (const auto& [dn, className] : expected) {
            const Row* row = rowWithDn(rows, dn);
            QVERIFY2(row, qPrintable(dn));
            QCOMPARE(row->className, className);
        }
        QVERIFY(!rowWithDn(rows, AdDc::usersContact));
        // Escaped names as the server gives them.
        QCOMPARE(rowWithDn(rows, AdDc::yamadaJiro)->name, QStringLiteral("CN=Yamada\\, Jiro"));
        QCOMPARE(rowWithDn(rows, AdDc::suzukiEquals)->name, QStringLiteral("CN=鈴木\\3D一郎"));
        QCOMPARE(rowWithDn(rows, AdDc::takahashiHash)->name, QStringLiteral("CN=\\#高橋 直子"));
    }

    void nodesWithEscapedDnsAndJapaneseOusListAgain()
    {
        click(window->cmdConnect);
        QPersistentModelIndex users = childWithKey(topNode(window->tvNode, 0), AdDc::adsPath(AdDc::users));
        clickNode(window->tvNode, users);
        for (const QString& dn : { AdDc::yamadaJiro, AdDc::suzukiEquals, AdDc::takahashiHash }) {
            QPersistentModelIndex node = childWithKey(users, AdDc::adsPath(dn));
            QVERIFY2(node.isValid(), qPrintable(dn));
            clickNode(window->tvNode, node);
            QVERIFY2(recorder->boxes.isEmpty(), qPrintable(recorder->boxes.value(0).text));
            QCOMPARE(rowCount(window->lvList), 0);
        }

        QPersistentModelIndex sales = childWithKey(topNode(window->tvNode, 0), AdDc::adsPath(AdDc::sales));
        clickNode(window->tvNode, sales);
        QPersistentModelIndex tokyo = childWithKey(sales, AdDc::adsPath(AdDc::tokyo));
        QVERIFY(tokyo.isValid());
        clickNode(window->tvNode, tokyo);
        QVERIFY(recorder->boxes.isEmpty());
        QCOMPARE(listRows(window->lvList), rowsFor(serverChildren(AdDc::tokyo)));
        QCOMPARE(listRows(window->lvList).size(), 2);
    }

    void doubleClickOnAComputerOpensItsComputerTab()
    {
        click(window->cmdConnect);
        QPersistentModelIndex computers = childWithKey(topNode(window->tvNode, 0), AdDc::adsPath(AdDc::computers));
        QVERIFY(computers.isValid());
        clickNode(window->tvNode, computers);
        const QPersistentModelIndex row = rowIndexOf(window->lvList, AdDc::pc0001);
        QVERIFY(row.isValid());
        QCOMPARE(text(QModelIndex(row).siblingAtColumn(1)), QStringLiteral("computer"));

        DetailsCloser closer;
        doubleClickRow(window->lvList, row);

        QVERIFY(closer.shown);
        QCOMPARE(closer.tab, 1);
        QCOMPARE(closer.computerName, QStringLiteral("PC-0001"));
        QVERIFY(recorder->boxes.isEmpty());
    }

    void propertyOfTheDomainWarnsThatItHasNoDetails()
    {
        click(window->cmdConnect);
        QPersistentModelIndex root = topNode(window->tvNode, 0);
        clickNode(window->tvNode, root);
        QVERIFY(recorder->boxes.isEmpty());

        DetailsCloser closer;
        const PopupAnswer popup(QStringLiteral("mnuProperty"));
        clickNode(window->tvNode, root, Qt::RightButton);

        QVERIFY(popup.shown());
        QCOMPARE(recorder->boxes.size(), 1);
        QCOMPARE(recorder->boxes[0].text, QStringLiteral("このオブジェクトの詳細画面はありません。"));
        QCOMPARE(recorder->boxes[0].icon, MessageIcon::Warning);
        QVERIFY(closer.shown);
        QCOMPARE(closer.tab, 0);
    }

    void exportOfUsersMatchesTheListInCp932()
    {
        click(window->cmdConnect);
        QPersistentModelIndex users = childWithKey(topNode(window->tvNode, 0), AdDc::adsPath(AdDc::users));
        clickNode(window->tvNode, users);
        const QList<Row> rows = listRows(window->lvList);
        QTemporaryDir temp;
        const QString file = temp.filePath(QStringLiteral("users.csv"));

        dialog->answers = { file };
        const PopupAnswer popup(QStringLiteral("mnuListOutPut"));
        clickNode(window->tvNode, users, Qt::RightButton);
        QVERIFY(popup.shown());

        QCOMPARE(recorder->boxes.size(), 1);
        QCOMPARE(recorder->boxes.constFirst().text, QStringLiteral("保存しました。"));
        QString text = QStringLiteral("｢CN=Users｣以下に存在するオブジェクト\r\n");
        for (const Row& row : rows)
            text += row.no + u'\t' + row.className + u'\t' + row.name + u'\t' + row.tag + QStringLiteral("\t\r\n");
        const QByteArray bytes = readBytes(file);
        QCOMPARE(bytes, iconvCp932(text));
        // The list is the server's, and the Japanese names are there in CP932 (田中 実, 鈴木=一郎).
        QCOMPARE(rows, rowsFor(serverChildren(AdDc::users)));
        QVERIFY(bytes.startsWith("\xA2"
                                 "CN=Users\xA3"));
        QVERIFY(bytes.contains("\tuser\tCN=\x93"
                               "c\x92\x86 \x8E\xC0\tLDAP://CN=\x93"
                               "c\x92\x86 \x8E\xC0,CN=Users,DC=example,DC=test\t\r\n"));
        QVERIFY(bytes.contains("\tuser\tCN=\x97\xE9\x96\xD8\\3D\x88\xEA\x98Y\t"));
    }
};

QTEST_MAIN(AdConnectBrowse)
#include "ad_ConnectBrowse.moc"
