// Members and memberships that cannot be bound at the first, middle and last place, on a
// private server that holds the sample data and a few more entries naming the hidden group
// and a DN that does not exist.
#include "DetailsTestSupport.h"
#include "PrivateDetailsSuite.h"
#include "TestDirectory.h"

#include <QTabWidget>
#include <QTest>
#include <memory>

using platform::MessageIcon;

namespace {

using namespace TestDirectory;

const QString missing = QStringLiteral("CN=存在しない,") + users;
const QString hiddenFirst = QStringLiteral("CN=先頭が見えないグループ,") + users;
const QString hiddenLast = QStringLiteral("CN=最後が見えないグループ,") + users;
const QString hiddenMembership = QStringLiteral("CN=所属先が見えないグループ,") + users;
const QString unreadableUser = QStringLiteral("CN=所属先が読めない利用者,") + users;

QByteArray extraEntries()
{
    return ldifEntry(hiddenFirst, groupClasses, { hiddenGroup, suzukiIchiro }, {})
        + ldifEntry(hiddenLast, groupClasses, { suzukiIchiro, tanakaMinoru, hiddenGroup }, {})
        + ldifEntry(
            hiddenMembership, groupClasses, { suzukiIchiro, tanakaMinoru }, { allStaff, hiddenGroup, sysAdmins })
        + ldifEntry(unreadableUser, userClasses, {}, { missing, allStaff, hiddenGroup });
}

} // namespace

class ItFrmDetUnreadableEntries : public PrivateDetailsSuiteOf<extraEntries> {
    Q_OBJECT
private slots:
    void groupStopsAtTheFirstMemberThatCannotBeBound_data()
    {
        QTest::addColumn<QString>("dn");
        QTest::addColumn<QStringList>("listed");
        QTest::newRow("first") << hiddenFirst << QStringList();
        QTest::newRow("last") << hiddenLast << QStringList({ "鈴木 一郎", "田中 実" });
    }
    void groupStopsAtTheFirstMemberThatCannotBeBound()
    {
        QFETCH(QString, dn);
        QFETCH(QStringList, listed);
        MessageRecorder recorder;

        const auto det = openOn(dn);
        verifyHiddenEntryBox(recorder.boxes);
        QCOMPARE(det->sstDet->currentIndex(), 2);
        QCOMPARE(entriesOf(det->lstGrpGroup), listed);
        QCOMPARE(det->lstGrpMember->count(), 0);
        QVERIFY(!det->ShowDetail(mdlMain::strObjectPath));
    }

    void groupMembershipThatCannotBeBoundStopsAfterTheMembers()
    {
        MessageRecorder recorder;

        const auto det = openOn(hiddenMembership);
        QCOMPARE(recorder.boxes.size(), 1);
        QCOMPARE(recorder.boxes[0].icon, MessageIcon::Critical);
        QCOMPARE(entriesOf(det->lstGrpGroup), QStringList({ "鈴木 一郎", "田中 実" }));
        QCOMPARE(entriesOf(det->lstGrpMember), QStringList({ "全社員" }));
        QVERIFY(!det->ShowDetail(mdlMain::strObjectPath));
    }

    void userSkipsEveryMembershipThatCannotBeBound()
    {
        MessageRecorder recorder;

        const auto det = openOn(unreadableUser);
        QVERIFY(recorder.boxes.isEmpty());
        QCOMPARE(det->sstDet->currentIndex(), 3);
        QCOMPARE(det->txtUsrName->text(), QStringLiteral("所属先が読めない利用者"));
        QCOMPARE(entriesOf(det->lstUsrGroup), QStringList({ "全社員" }));
        QVERIFY(det->ShowDetail(mdlMain::strObjectPath));
        QVERIFY(recorder.boxes.isEmpty());
    }
};

QTEST_MAIN(ItFrmDetUnreadableEntries)
#include "it_frmDetUnreadableEntries.moc"
