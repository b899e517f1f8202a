// The details window against an in-memory directory: the cases a real server cannot produce
// (a class spelled "User", a bind that fails at a chosen entry, an object deleted between reads).
#include "DetailsTestSupport.h"

#include <QPushButton>
#include <QTabWidget>
#include <QTest>

using directory::DirectoryError;
using platform::MessageIcon;

namespace {

const QString domainDn = QStringLiteral("DC=example,DC=test");

QString pathOf(const QString& dn)
{
    return QStringLiteral("LDAP://") + dn;
}

const DirectoryError noSuchObject(directory::hresult::NoSuchObject, QStringLiteral("オブジェクトがありません。"));
const DirectoryError accessDenied(directory::hresult::AccessDenied, QStringLiteral("アクセスが拒否されました。"));

// A small domain: a group with three members and two memberships, a user in three groups.
void fillSample(InMemoryDirectory& dir)
{
    dir.add(domainDn, { QStringLiteral("top"), QStringLiteral("domain"), QStringLiteral("domainDNS") });
    dir.add(QStringLiteral("CN=Users,") + domainDn, { QStringLiteral("top"), QStringLiteral("container") },
        { { "cn", { "Users" } } });
    for (const char* name : { "g1", "g2", "g3" }) {
        dir.add(QStringLiteral("CN=%1,CN=Users,").arg(QLatin1String(name)) + domainDn,
            { QStringLiteral("top"), QStringLiteral("group") }, { { "cn", { QLatin1String(name) } } });
    }
    for (const char* name : { "m1", "m2", "m3" }) {
        dir.add(QStringLiteral("CN=%1,CN=Users,").arg(QLatin1String(name)) + domainDn,
            { QStringLiteral("top"), QStringLiteral("user") }, { { "cn", { QLatin1String(name) } } });
    }
    dir.add(QStringLiteral("CN=チーム,CN=Users,") + domainDn, { QStringLiteral("top"), QStringLiteral("group") },
        { { "cn", { "チーム" } },
            { "member",
                { QStringLiteral("CN=m1,CN=Users,") + domainDn, QStringLiteral("CN=m2,CN=Users,") + domainDn,
                    QStringLiteral("CN=m3,CN=Users,") + domainDn } },
            { "memberOf",
                { QStringLiteral("CN=g1,CN=Users,") + domainDn, QStringLiteral("CN=g2,CN=Users,") + domainDn } } });
    dir.add(QStringLiteral("CN=利用者,CN=Users,") + domainDn, { QStringLiteral("top"), QStringLiteral("user") },
        { { "cn", { "利用者" } }, { "displayName", { "利用者 表示" } },
            { "memberOf",
                { QStringLiteral("CN=g1,CN=Users,") + domainDn, QStringLiteral("CN=g2,CN=Users,") + domainDn,
                    QStringLiteral("CN=g3,CN=Users,") + domainDn } } });
}

const QString groupPath = pathOf(QStringLiteral("CN=チーム,CN=Users,") + domainDn);
const QString userPath = pathOf(QStringLiteral("CN=利用者,CN=Users,") + domainDn);

} // namespace

class TestFrmDet : public QObject {
    Q_OBJECT
private slots:
    void classNamesDifferingInCaseHaveNoDetailsScreen_data()
    {
        QTest::addColumn<QString>("className");
        QTest::newRow("User") << QStringLiteral("User");
        QTest::newRow("Group") << QStringLiteral("Group");
        QTest::newRow("Container") << QStringLiteral("Container");
        QTest::newRow("organizationalunit") << QStringLiteral("organizationalunit");
        QTest::newRow("COMPUTER") << QStringLiteral("COMPUTER");
    }
    void classNamesDifferingInCaseHaveNoDetailsScreen()
    {
        QFETCH(QString, className);
        InMemoryScope scope;
        const QString dn = QStringLiteral("CN=Someone,") + domainDn;
        scope.directory->add(dn, { QStringLiteral("top"), className },
            { { "cn", { "Someone" } }, { "ou", { "Someone" } }, { "displayName", { "表示" } } });
        const ObjectPathScope path(pathOf(dn));
        MessageRecorder recorder;

        frmDet det;
        QCOMPARE(recorder.boxes.size(), 1);
        QCOMPARE(recorder.boxes[0].text, QStringLiteral("このオブジェクトの詳細画面はありません。"));
        QCOMPARE(recorder.boxes[0].icon, MessageIcon::Warning);
        QCOMPARE(det.sstDet->currentIndex(), 0);
        QVERIFY(everyFieldEmpty(det));
        QVERIFY(!det.ShowDetail(pathOf(dn)));
        QCOMPARE(QApplication::overrideCursor(), nullptr);
    }

    void emptyObjectPathShowsMessageWithoutIconAndKeepsInitialText()
    {
        InMemoryScope scope;
        fillSample(*scope.directory);
        const ObjectPathScope path { QString() };
        MessageRecorder recorder;

        frmDet det;
        QCOMPARE(recorder.boxes.size(), 1);
        QCOMPARE(recorder.boxes[0].text, QStringLiteral("情報の取得に失敗しました。"));
        QCOMPARE(recorder.boxes[0].icon, MessageIcon::None);
        QVERIFY(!recorder.boxes[0].hourglass);
        QCOMPARE(textBoxesOf(det), QStringList(7, QStringLiteral("Text1")));
        QCOMPARE(det.sstDet->currentIndex(), 3);
        QVERIFY(scope.directory->boundPaths().isEmpty());

        // The refresh repeats the message and leaves the fields as they are.
        det.cmdUpdate->click();
        QCOMPARE(recorder.boxes.size(), 2);
        QCOMPARE(recorder.boxes[1].text, QStringLiteral("情報の取得に失敗しました。"));
        QCOMPARE(recorder.boxes[1].icon, MessageIcon::None);
        QCOMPARE(textBoxesOf(det), QStringList(7, QStringLiteral("Text1")));
        QVERIFY(scope.directory->boundPaths().isEmpty());
    }

    void refreshReadsTheCurrentObjectPath()
    {
        InMemoryScope scope;
        fillSample(*scope.directory);
        ObjectPathScope path(groupPath);
        MessageRecorder recorder;

        frmDet det;
        QCOMPARE(det.txtGrpName->text(), QStringLiteral("チーム"));
        mdlMain::strObjectPath = userPath;
        det.cmdUpdate->click();
        QCOMPARE(det.sstDet->currentIndex(), 3);
        QCOMPARE(det.txtUsrName->text(), QStringLiteral("利用者"));
        QCOMPARE(det.txtGrpName->text(), QString());
        QCOMPARE(det.lstGrpGroup->count(), 0);
        QCOMPARE(det.lstGrpMember->count(), 0);
        QVERIFY(recorder.boxes.isEmpty());
    }

    void refreshAfterTheObjectWasDeletedReportsItWithEveryFieldEmpty()
    {
        InMemoryScope scope;
        fillSample(*scope.directory);
        const ObjectPathScope path(groupPath);
        MessageRecorder recorder;

        frmDet det;
        QCOMPARE(entriesOf(det.lstGrpGroup), QStringList({ "m1", "m2", "m3" }));
        scope.directory->failBind(QStringLiteral("CN=チーム,CN=Users,") + domainDn, noSuchObject);
        det.cmdUpdate->click();
        QCOMPARE(recorder.boxes.size(), 1);
        QCOMPARE(recorder.boxes[0].icon, MessageIcon::Critical);
        QCOMPARE(recorder.boxes[0].text, QStringLiteral("-2147016656\r\nオブジェクトがありません。"));
        QVERIFY(everyFieldEmpty(det));
        // The tab in front is not changed by a failure.
        QCOMPARE(det.sstDet->currentIndex(), 2);
        QCOMPARE(QApplication::overrideCursor(), nullptr);
    }

    void groupMemberThatCannotBeBoundEndsTheProcedure_data()
    {
        QTest::addColumn<QString>("failing");
        QTest::addColumn<QStringList>("listed");
        QTest::newRow("first") << QStringLiteral("m1") << QStringList();
        QTest::newRow("middle") << QStringLiteral("m2") << QStringList({ "m1" });
        QTest::newRow("last") << QStringLiteral("m3") << QStringList({ "m1", "m2" });
    }
    void groupMemberThatCannotBeBoundEndsTheProcedure()
    {
        QFETCH(QString, failing);
        QFETCH(QStringList, listed);
        InMemoryScope scope;
        fillSample(*scope.directory);
        scope.directory->failBind(QStringLiteral("CN=%1,CN=Users,").arg(failing) + domainDn, accessDenied);
        const ObjectPathScope path(groupPath);
        MessageRecorder recorder;

        frmDet det;
        QCOMPARE(recorder.boxes.size(), 1);
        QCOMPARE(recorder.boxes[0].icon, MessageIcon::Critical);
        QCOMPARE(recorder.boxes[0].text, accessDenied.reportText());
        QCOMPARE(recorder.boxes[0].hourglass, true);
        QCOMPARE(det.sstDet->currentIndex(), 2);
        QCOMPARE(det.txtGrpName->text(), QStringLiteral("チーム"));
        QCOMPARE(entriesOf(det.lstGrpGroup), listed);
        QCOMPARE(det.lstGrpMember->count(), 0);
        QCOMPARE(QApplication::overrideCursor(), nullptr);
        QVERIFY(!det.ShowDetail(groupPath));
        QCOMPARE(entriesOf(det.lstGrpGroup), listed);
    }

    void groupMembershipThatCannotBeBoundEndsTheProcedureAfterTheMembers()
    {
        InMemoryScope scope;
        fillSample(*scope.directory);
        scope.directory->failBind(QStringLiteral("CN=g2,CN=Users,") + domainDn, noSuchObject);
        const ObjectPathScope path(groupPath);
        MessageRecorder recorder;

        frmDet det;
        QCOMPARE(recorder.boxes.size(), 1);
        QCOMPARE(recorder.boxes[0].icon, MessageIcon::Critical);
        QCOMPARE(entriesOf(det.lstGrpGroup), QStringList({ "m1", "m2", "m3" }));
        QCOMPARE(entriesOf(det.lstGrpMember), QStringList({ "g1" }));
        QVERIFY(!det.ShowDetail(groupPath));
    }

    void userMembershipsThatCannotBeBoundAreSkippedSilently()
    {
        InMemoryScope scope;
        fillSample(*scope.directory);
        scope.directory->failBind(QStringLiteral("CN=g1,CN=Users,") + domainDn, accessDenied);
        scope.directory->failBind(QStringLiteral("CN=g3,CN=Users,") + domainDn, noSuchObject);
        const ObjectPathScope path(userPath);
        MessageRecorder recorder;

        frmDet det;
        QVERIFY(recorder.boxes.isEmpty());
        QCOMPARE(det.sstDet->currentIndex(), 3);
        QCOMPARE(det.txtUsrName->text(), QStringLiteral("利用者"));
        QCOMPARE(det.txtDisName->text(), QStringLiteral("利用者 表示"));
        QCOMPARE(det.txtLastName->text(), QString());
        QCOMPARE(det.txtGivenName->text(), QString());
        QCOMPARE(entriesOf(det.lstUsrGroup), QStringList({ "g2" }));
        QVERIFY(det.ShowDetail(userPath));
        QCOMPARE(entriesOf(det.lstUsrGroup), QStringList({ "g2" }));
        QVERIFY(recorder.boxes.isEmpty());
    }

    void hourglassShowsDuringTheBoxAndIsRestoredOnEveryWayOut_data()
    {
        QTest::addColumn<QString>("dn");
        QTest::addColumn<int>("boxes");
        QTest::addColumn<bool>("result");
        QTest::newRow("filled") << QStringLiteral("CN=チーム,CN=Users,") + domainDn << 0 << true;
        QTest::newRow("no details screen") << domainDn << 1 << false;
        QTest::newRow("trap") << QStringLiteral("CN=nobody,CN=Users,") + domainDn << 1 << false;
    }
    void hourglassShowsDuringTheBoxAndIsRestoredOnEveryWayOut()
    {
        QFETCH(QString, dn);
        QFETCH(int, boxes);
        QFETCH(bool, result);
        InMemoryScope scope;
        fillSample(*scope.directory);
        const ObjectPathScope path { QString() };
        MessageRecorder recorder;
        frmDet det;
        recorder.boxes.clear();

        QCOMPARE(det.ShowDetail(pathOf(dn)), result);
        QCOMPARE(recorder.boxes.size(), boxes);
        for (const RecordedBox& box : std::as_const(recorder.boxes))
            QVERIFY(box.hourglass);
        QCOMPARE(QApplication::overrideCursor(), nullptr);
    }

    void malformedPathGoesToTheTrap()
    {
        InMemoryScope scope;
        fillSample(*scope.directory);
        const ObjectPathScope path(QStringLiteral("CN=チーム,CN=Users,DC=example,DC=test"));
        MessageRecorder recorder;

        frmDet det;
        QCOMPARE(recorder.boxes.size(), 1);
        QCOMPARE(recorder.boxes[0].icon, MessageIcon::Critical);
        QVERIFY(recorder.boxes[0].text.startsWith(QString::number(directory::hresult::BadPathName) + "\r\n"));
        QVERIFY(everyFieldEmpty(det));
        QCOMPARE(QApplication::overrideCursor(), nullptr);
    }

    void clearFieldsEmptiesEveryFieldAndKeepsTheTab()
    {
        const ObjectPathScope path { QString() };
        MessageRecorder recorder;
        frmDet det;
        det.sstDet->setCurrentIndex(1);
        det.lstGrpGroup->addItem(QStringLiteral("a"));
        det.lstGrpMember->addItem(QStringLiteral("b"));
        det.lstUsrGroup->addItem(QStringLiteral("c"));

        det.ClearFields();
        QVERIFY(everyFieldEmpty(det));
        QCOMPARE(det.sstDet->currentIndex(), 1);
    }

    void closeButtonClosesTheWindowAndNoRefreshButtonIsVisible()
    {
        InMemoryScope scope;
        fillSample(*scope.directory);
        const ObjectPathScope path(userPath);
        MessageRecorder recorder;
        frmDet det;
        det.show();
        QVERIFY(QTest::qWaitForWindowExposed(&det));
        QVERIFY(!det.cmdUpdate->isVisible());
        QCOMPARE(det.windowTitle(), QStringLiteral("詳細"));

        QTest::mouseClick(det.cmdClose, Qt::LeftButton);
        QVERIFY(!det.isVisible());
        QVERIFY(recorder.boxes.isEmpty());
    }
};

QTEST_MAIN(TestFrmDet)
#include "test_frmDet.moc"
