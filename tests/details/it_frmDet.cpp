// The details window against the sample directory on slapd: every tab, the two group lists, the
// user tab's tolerant reads, the error trap and the refresh.
#include "DetailsCases.h"
#include "TestDirectory.h"

#include <QPushButton>
#include <QTabWidget>
#include <QTest>

using platform::MessageIcon;
using namespace TestDirectory;

namespace {

const QString noSuchObjectPrefix = QString::number(directory::hresult::NoSuchObject) + QStringLiteral("\r\n");

// What the window shows, in one value, so that two readings can be compared whole.
QStringList contentsOf(const frmDet& det)
{
    QStringList contents = textBoxesOf(det);
    contents << QString::number(det.sstDet->currentIndex());
    for (const QListWidget* list : { det.lstGrpGroup, det.lstGrpMember, det.lstUsrGroup })
        contents << QStringLiteral("[") + entriesOf(list).join(QStringLiteral("|")) + QStringLiteral("]");
    return contents;
}

} // namespace

class ItFrmDet : public QObject {
    Q_OBJECT
private slots:
    void cleanup() { verifyDetailsCaseEnded(); }

    void userTabShowsNamesAndTheGroupsThatCanBeRead_data()
    {
        userTabRows({
            { "two groups", yamadaTaro, { "山田 太郎", "山田 太郎", "山田", "太郎" },
                { "営業部メンバー", "プロジェクトA" } },
            { "no display name", tanakaMinoru, { "田中 実", "", "田中", "実" }, { "全社員" } },
            { "one group hidden", itoKen, { "伊藤 健", "伊藤 健", "伊藤", "健" }, { "東京支店メンバー", "全社員" } },
            { "one group", satoHanako, { "佐藤 花子", "佐藤 花子", "佐藤", "花子" }, { "東京支店メンバー" } },
            { "no group", takahashiNaoko, { "高橋 直子", "高橋 直子", "高橋", "直子" }, {} },
            { "escaped comma", yamadaJiro, { "Yamada, Jiro", "Yamada, Jiro", "Yamada", "Jiro" }, { "全社員" } },
            { "display name only", readerDn, { "Mivora Reader", "Mivora Reader", "", "" }, {} },
        });
    }
    void userTabShowsNamesAndTheGroupsThatCanBeRead() { userTabCase(ListOrder::AsStored); }

    void groupTabListsMembersAndMembershipsInDirectoryOrder_data()
    {
        groupTabRows({
            { "nested, in one group", salesMembers, "営業部メンバー",
                { "山田 太郎", "東京支店メンバー", "PC-EIGYO-001" }, { "全社員" } },
            { "in no group", allStaff, "全社員",
                { "営業部メンバー", "鈴木 一郎", "田中 実", "伊藤 健", "Yamada, Jiro", "Hans Müller",
                    "システム管理者" },
                {} },
            { "in one nested group", tokyoMembers, "東京支店メンバー", { "佐藤 花子", "伊藤 健" },
                { "営業部メンバー" } },
            { "in two groups", sysAdmins, "システム管理者", { "administrator" }, { "全社員", "プロジェクトA" } },
            { "no members, in no group", emptyGroup, "空のグループ", {}, {} },
        });
    }
    void groupTabListsMembersAndMembershipsInDirectoryOrder() { groupTabCase(ListOrder::AsStored); }

    void groupMemberThatCannotBeBoundStopsAtItWithTheCriticalMessage()
    {
        MessageRecorder recorder;

        const auto det = openOn(projectA);
        QCOMPARE(recorder.boxes.size(), 1);
        QCOMPARE(recorder.boxes[0].icon, MessageIcon::Critical);
        QVERIFY2(recorder.boxes[0].text.startsWith(noSuchObjectPrefix), qPrintable(recorder.boxes[0].text));
        QVERIFY(recorder.boxes[0].text.size() > noSuchObjectPrefix.size());
        QVERIFY(recorder.boxes[0].hourglass);
        QCOMPARE(det->sstDet->currentIndex(), 2);
        QCOMPARE(det->txtGrpName->text(), QStringLiteral("プロジェクトA"));
        QCOMPARE(entriesOf(det->lstGrpGroup), QStringList({ "鈴木 一郎" }));
        QCOMPARE(det->lstGrpMember->count(), 0);
        QCOMPARE(currentCursor(), Qt::ArrowCursor);
        QVERIFY(!det->ShowDetail(adsPath(projectA)));
        QCOMPARE(entriesOf(det->lstGrpGroup), QStringList({ "鈴木 一郎" }));
    }

    void containersOrganizationalUnitsAndComputersShowTheirName_data()
    {
        nameTabRows({ { "container", users, 0, "Users" }, { "container in an OU", salesDocuments, 0, "資料" },
            { "OU", sales, 0, "営業部" }, { "nested OU", tokyo, 0, "東京支店" },
            { "OU with a space", domainControllers, 0, "Domain Controllers" }, { "computer", srv01, 1, "SRV01" },
            { "computer in a group", pcSales, 1, "PC-EIGYO-001" },
            { "computer at the root", pcRoot, 1, "PC-ROOT-001" } });
    }
    void containersOrganizationalUnitsAndComputersShowTheirName() { nameTabCase(); }

    void objectOfAnotherClassHasNoDetailsScreen_data()
    {
        oneColumn<QString>("dn",
            { { "domain root", base }, { "contact", rootContact }, { "device", printer },
                { "builtinDomain", builtin } });
    }
    void objectOfAnotherClassHasNoDetailsScreen() { noTabCase(); }

    void pathThatNamesNoObjectGivesTheCriticalMessageWithEveryFieldEmpty_data()
    {
        QTest::addColumn<QString>("dn");
        QTest::newRow("no such object") << QStringLiteral("cn=誰もいない,cn=Users,dc=example,dc=test");
        QTest::newRow("hidden from the reader") << hiddenGroup;
    }
    void pathThatNamesNoObjectGivesTheCriticalMessageWithEveryFieldEmpty()
    {
        QFETCH(QString, dn);
        MessageRecorder recorder;

        const auto det = openOn(dn);
        QCOMPARE(recorder.boxes.size(), 1);
        QCOMPARE(recorder.boxes[0].icon, MessageIcon::Critical);
        QVERIFY2(recorder.boxes[0].text.startsWith(noSuchObjectPrefix), qPrintable(recorder.boxes[0].text));
        QVERIFY(recorder.boxes[0].hourglass);
        QVERIFY(everyFieldEmpty(*det));
        QCOMPARE(det->sstDet->currentIndex(), 3);
        QCOMPARE(currentCursor(), Qt::ArrowCursor);
        QVERIFY(!det->ShowDetail(adsPath(dn)));
    }

    void malformedPathGivesTheCriticalMessage()
    {
        MessageRecorder recorder;

        const auto det = openOn(users);
        QCOMPARE(det->txtOuName->text(), QStringLiteral("Users"));
        // The DN alone, without the provider prefix.
        QVERIFY(!det->ShowDetail(users));
        QCOMPARE(recorder.boxes.size(), 1);
        QCOMPARE(recorder.boxes[0].icon, MessageIcon::Critical);
        QVERIFY(recorder.boxes[0].text.startsWith(QString::number(directory::hresult::BadPathName) + "\r\n"));
        QVERIFY(everyFieldEmpty(*det));
    }

    void refreshReadsTheObjectPathAgain()
    {
        MessageRecorder recorder;

        const auto det = openOn(allStaff);
        QCOMPARE(det->lstGrpGroup->count(), 7);
        mdlMain::strObjectPath = adsPath(satoHanako);
        det->cmdUpdate->click();
        QCOMPARE(det->sstDet->currentIndex(), 3);
        QCOMPARE(det->txtUsrName->text(), QStringLiteral("佐藤 花子"));
        QCOMPARE(entriesOf(det->lstUsrGroup), QStringList({ "東京支店メンバー" }));
        QCOMPARE(det->txtGrpName->text(), QString());
        QCOMPARE(det->lstGrpGroup->count(), 0);
        QVERIFY(recorder.boxes.isEmpty());
    }

    void shownWindowHasNoRefreshButtonAndClosesWithItsButton()
    {
        MessageRecorder recorder;

        const auto det = openOn(yamadaTaro);
        det->show();
        QVERIFY(QTest::qWaitForWindowExposed(det.get()));
        QCOMPARE(det->windowTitle(), QStringLiteral("詳細"));
        QVERIFY(!det->cmdUpdate->isVisible());
        QVERIFY(det->cmdClose->isVisible());
        QTest::mouseClick(det->cmdClose, Qt::LeftButton);
        QVERIFY(!det->isVisible());
        QVERIFY(recorder.boxes.isEmpty());
    }

    void refreshesGiveTheSameContentAsOneOpening_data()
    {
        QTest::addColumn<QString>("dn");
        QTest::newRow("group") << allStaff;
        QTest::newRow("user") << yamadaTaro;
        QTest::newRow("group that fails") << projectA;
    }
    void refreshesGiveTheSameContentAsOneOpening()
    {
        QFETCH(QString, dn);
        MessageRecorder recorder;

        const auto det = openOn(dn);
        const QStringList opened = contentsOf(*det);
        const auto boxesOfOneReading = recorder.boxes.size();
        det->cmdUpdate->click();
        det->cmdUpdate->click();
        QCOMPARE(contentsOf(*det), opened);
        QCOMPARE(recorder.boxes.size(), 3 * boxesOfOneReading);
    }
};

QTEST_MAIN(ItFrmDet)
#include "it_frmDet.moc"
