// The details window against the sample directory on slapd: every tab, the two group lists, the
// user tab's tolerant reads, the error trap and the refresh.
#include "DetailsCases.h"
#include "TestDirectory.h"

#include <QPushButton>
#include <QTabWidget>
#include <QTest>

using platform::MessageIcon;
using TestDirectory::adsPath;

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
        userTabColumns();
        QTest::newRow("two groups") << TestDirectory::yamadaTaro
                                    << QStringList({ "山田 太郎", "山田 太郎", "山田", "太郎" })
                                    << QStringList({ "営業部メンバー", "プロジェクトA" });
        QTest::newRow("no display name") << TestDirectory::tanakaMinoru << QStringList({ "田中 実", "", "田中", "実" })
                                         << QStringList({ "全社員" });
        QTest::newRow("one group hidden")
            << TestDirectory::itoKen << QStringList({ "伊藤 健", "伊藤 健", "伊藤", "健" })
            << QStringList({ "東京支店メンバー", "全社員" });
        QTest::newRow("one group") << TestDirectory::satoHanako
                                   << QStringList({ "佐藤 花子", "佐藤 花子", "佐藤", "花子" })
                                   << QStringList({ "東京支店メンバー" });
        QTest::newRow("no group") << TestDirectory::takahashiNaoko
                                  << QStringList({ "高橋 直子", "高橋 直子", "高橋", "直子" }) << QStringList();
        QTest::newRow("escaped comma") << TestDirectory::yamadaJiro
                                       << QStringList({ "Yamada, Jiro", "Yamada, Jiro", "Yamada", "Jiro" })
                                       << QStringList({ "全社員" });
        QTest::newRow("display name only")
            << TestDirectory::readerDn << QStringList({ "Mivora Reader", "Mivora Reader", "", "" }) << QStringList();
    }
    void userTabShowsNamesAndTheGroupsThatCanBeRead() { userTabCase(ListOrder::AsStored); }

    void groupTabListsMembersAndMembershipsInDirectoryOrder_data()
    {
        groupTabColumns();
        QTest::newRow("nested, in one group")
            << TestDirectory::salesMembers << QStringLiteral("営業部メンバー")
            << QStringList({ "山田 太郎", "東京支店メンバー", "PC-EIGYO-001" }) << QStringList({ "全社員" });
        QTest::newRow("in no group") << TestDirectory::allStaff << QStringLiteral("全社員")
                                     << QStringList({ "営業部メンバー", "鈴木 一郎", "田中 実", "伊藤 健",
                                            "Yamada, Jiro", "Hans Müller", "システム管理者" })
                                     << QStringList();
        QTest::newRow("in one nested group")
            << TestDirectory::tokyoMembers << QStringLiteral("東京支店メンバー")
            << QStringList({ "佐藤 花子", "伊藤 健" }) << QStringList({ "営業部メンバー" });
        QTest::newRow("in two groups") << TestDirectory::sysAdmins << QStringLiteral("システム管理者")
                                       << QStringList({ "administrator" })
                                       << QStringList({ "全社員", "プロジェクトA" });
        QTest::newRow("no members, in no group")
            << TestDirectory::emptyGroup << QStringLiteral("空のグループ") << QStringList() << QStringList();
    }
    void groupTabListsMembersAndMembershipsInDirectoryOrder() { groupTabCase(ListOrder::AsStored); }

    void groupMemberThatCannotBeBoundStopsAtItWithTheCriticalMessage()
    {
        MessageRecorder recorder;

        const auto det = openOn(TestDirectory::projectA);
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
        QVERIFY(!det->ShowDetail(adsPath(TestDirectory::projectA)));
        QCOMPARE(entriesOf(det->lstGrpGroup), QStringList({ "鈴木 一郎" }));
    }

    void containersOrganizationalUnitsAndComputersShowTheirName_data()
    {
        nameTabColumns();
        QTest::newRow("container") << TestDirectory::users << 0 << QStringLiteral("Users");
        QTest::newRow("container in an OU") << TestDirectory::salesDocuments << 0 << QStringLiteral("資料");
        QTest::newRow("OU") << TestDirectory::sales << 0 << QStringLiteral("営業部");
        QTest::newRow("nested OU") << TestDirectory::tokyo << 0 << QStringLiteral("東京支店");
        QTest::newRow("OU with a space") << TestDirectory::domainControllers << 0
                                         << QStringLiteral("Domain Controllers");
        QTest::newRow("computer") << TestDirectory::srv01 << 1 << QStringLiteral("SRV01");
        QTest::newRow("computer in a group") << TestDirectory::pcSales << 1 << QStringLiteral("PC-EIGYO-001");
        QTest::newRow("computer at the root") << TestDirectory::pcRoot << 1 << QStringLiteral("PC-ROOT-001");
    }
    void containersOrganizationalUnitsAndComputersShowTheirName() { nameTabCase(); }

    void objectOfAnotherClassHasNoDetailsScreen_data()
    {
        noTabColumns();
        QTest::newRow("domain root") << TestDirectory::base;
        QTest::newRow("contact") << TestDirectory::rootContact;
        QTest::newRow("device") << TestDirectory::printer;
        QTest::newRow("builtinDomain") << TestDirectory::builtin;
    }
    void objectOfAnotherClassHasNoDetailsScreen() { noTabCase(); }

    void pathThatNamesNoObjectGivesTheCriticalMessageWithEveryFieldEmpty_data()
    {
        QTest::addColumn<QString>("dn");
        QTest::newRow("no such object") << QStringLiteral("cn=誰もいない,cn=Users,dc=example,dc=test");
        QTest::newRow("hidden from the reader") << TestDirectory::hiddenGroup;
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

        const auto det = openOn(TestDirectory::users);
        QCOMPARE(det->txtOuName->text(), QStringLiteral("Users"));
        // The DN alone, without the provider prefix.
        QVERIFY(!det->ShowDetail(TestDirectory::users));
        QCOMPARE(recorder.boxes.size(), 1);
        QCOMPARE(recorder.boxes[0].icon, MessageIcon::Critical);
        QVERIFY(recorder.boxes[0].text.startsWith(QString::number(directory::hresult::BadPathName) + "\r\n"));
        QVERIFY(everyFieldEmpty(*det));
    }

    void refreshReadsTheObjectPathAgain()
    {
        MessageRecorder recorder;

        const auto det = openOn(TestDirectory::allStaff);
        QCOMPARE(det->lstGrpGroup->count(), 7);
        mdlMain::strObjectPath = adsPath(TestDirectory::satoHanako);
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

        const auto det = openOn(TestDirectory::yamadaTaro);
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
        QTest::newRow("group") << TestDirectory::allStaff;
        QTest::newRow("user") << TestDirectory::yamadaTaro;
        QTest::newRow("group that fails") << TestDirectory::projectA;
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
