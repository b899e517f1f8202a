// The details window against a real Active Directory (Samba's): the user, group, computer and
// OU tabs, a group of 1,600 members read in ranges, and the domain object that has no tab.
#include "AdDc.h"
#include "DetailsCases.h"
#include "directory/LdapDirectory.h"

#include <QTabWidget>

class AdFrmDet : public QObject {
    Q_OBJECT
private slots:
    void init() { AD_DC_SKIP_UNLESS_RUNNING(); }
    void cleanup()
    {
        if (auto* ldap = dynamic_cast<directory::LdapDirectory*>(&directory::currentDirectory()))
            ldap->setMemberRangeStep(0);
        verifyDetailsCaseEnded();
    }

    void userTabShowsNamesAndGroups_data()
    {
        userTabColumns();
        QTest::newRow("two groups") << AdDc::yamadaTaro << QStringList({ "山田 太郎", "山田 太郎", "山田", "太郎" })
                                    << QStringList({ "プロジェクトA", "営業部メンバー" });
        QTest::newRow("no displayName") << AdDc::tanakaMinoru << QStringList({ "田中 実", "", "田中", "実" })
                                        << QStringList({ "プロジェクトA", "全社員" });
        QTest::newRow("nested group") << AdDc::satoHanako << QStringList({ "佐藤 花子", "佐藤 花子", "佐藤", "花子" })
                                      << QStringList({ "東京支店メンバー" });
        QTest::newRow("escaped comma") << AdDc::yamadaJiro
                                       << QStringList({ "Yamada, Jiro", "Yamada, Jiro", "Yamada", "Jiro" })
                                       << QStringList({ "全社員" });
        QTest::newRow("escaped equals sign")
            << AdDc::suzukiEquals << QStringList({ "鈴木=一郎", "鈴木=一郎", "鈴木", "一郎" })
            << QStringList({ "全社員" });
        QTest::newRow("escaped number sign")
            << AdDc::takahashiHash << QStringList({ "#高橋 直子", "#高橋 直子", "高橋", "直子" })
            << QStringList({ "全社員" });
        // Domain Users is the primary group, which memberOf does not name.
        QTest::newRow("the test account")
            << AdDc::tester << QStringList({ "mivora-tester", "Mivora Tester", "Tester", "Mivora" }) << QStringList();
    }
    void userTabShowsNamesAndGroups() { userTabCase(ListOrder::ServersOwn); }

    void groupTabListsMembersAndMemberships_data()
    {
        groupTabColumns();
        QTest::newRow("nested, with a computer")
            << AdDc::salesMembers << "営業部メンバー"
            << QStringList({ "PC-EIGYO-001", "山田 太郎", "東京支店メンバー" }) << QStringList({ "全社員" });
        QTest::newRow("members with escaped DNs")
            << AdDc::allStaff << "全社員"
            << QStringList({ "#高橋 直子", "Yamada, Jiro", "営業部メンバー", "田中 実", "鈴木=一郎" }) << QStringList();
        QTest::newRow("in a nested group") << AdDc::tokyoMembers << "東京支店メンバー" << QStringList({ "佐藤 花子" })
                                           << QStringList({ "営業部メンバー" });
        QTest::newRow("members by primary group only")
            << AdDc::domainUsers << "Domain Users" << QStringList() << QStringList({ "Users" });
    }
    void groupTabListsMembersAndMemberships() { groupTabCase(ListOrder::ServersOwn); }

    void groupOf1600MembersListsThemAll_data()
    {
        QTest::addColumn<qint64>("step");
        QTest::newRow("as the server gives them") << qint64(0);
        QTest::newRow("in ranges of 250") << qint64(250);
    }
    void groupOf1600MembersListsThemAll()
    {
        QFETCH(qint64, step);
        auto* ldap = dynamic_cast<directory::LdapDirectory*>(&directory::currentDirectory());
        QVERIFY(ldap);
        ldap->setMemberRangeStep(step);
        MessageRecorder recorder;

        const auto det = openOn(AdDc::bulkGroup);

        QVERIFY2(recorder.boxes.isEmpty(), qPrintable(recorder.boxes.value(0).text));
        QCOMPARE(det->sstDet->currentIndex(), 2);
        QCOMPARE(det->txtGrpName->text(), QStringLiteral("大量グループ"));
        QStringList expected;
        for (int k = 1; k <= AdDc::bulkUsers; ++k)
            expected.append(QStringLiteral("社員%1").arg(k, 4, 10, QLatin1Char('0')));
        const QStringList members = entriesOf(det->lstGrpGroup);
        QCOMPARE(members.size(), AdDc::bulkUsers);
        QCOMPARE(listed(det->lstGrpGroup, ListOrder::ServersOwn), expected);
        // In the order of the group's member values.
        QStringList serverOrder;
        for (const QString& member : AdDc::valuesOf(
                 AdDc::ldapsearch(AdDc::bulkGroup, QStringLiteral("base"), QStringLiteral("(objectClass=*)"), "member"),
                 "member"))
            serverOrder.append(directory::dn::rdnValue(directory::dn::firstRdn(member)));
        QCOMPARE(members, serverOrder);
        QCOMPARE(det->lstGrpMember->count(), 0);
    }

    void computerOpensOnTheComputerTab_data()
    {
        nameTabColumns();
        QTest::newRow("in a Japanese OU") << AdDc::pcSales << 1 << "PC-EIGYO-001";
        QTest::newRow("in CN=Computers") << AdDc::pc0001 << 1 << "PC-0001";
        QTest::newRow("the domain controller") << AdDc::dc1 << 1 << "DC1";
    }
    void computerOpensOnTheComputerTab() { nameTabCase(); }

    void containersAndOusOpenOnTheFirstTab_data()
    {
        nameTabColumns();
        QTest::newRow("organizational unit") << AdDc::sales << 0 << "営業部";
        QTest::newRow("domain controllers") << AdDc::domainControllers << 0 << "Domain Controllers";
        QTest::newRow("container") << AdDc::users << 0 << "Users";
        QTest::newRow("container in an OU") << AdDc::salesDocuments << 0 << "資料";
    }
    void containersAndOusOpenOnTheFirstTab() { nameTabCase(); }

    void objectsWithoutATabWarn_data()
    {
        noTabColumns();
        QTest::newRow("the domain (domainDNS)") << AdDc::base;
        QTest::newRow("builtinDomain") << AdDc::builtin;
        QTest::newRow("contact") << AdDc::usersContact;
    }
    void objectsWithoutATabWarn() { noTabCase(); }
};

QTEST_MAIN(AdFrmDet)
#include "ad_frmDet.moc"
