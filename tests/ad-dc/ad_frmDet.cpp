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
        userTabRows({
            { "two groups", AdDc::yamadaTaro, { "山田 太郎", "山田 太郎", "山田", "太郎" },
                { "プロジェクトA", "営業部メンバー" } },
            { "no displayName", AdDc::tanakaMinoru, { "田中 実", "", "田中", "実" }, { "プロジェクトA", "全社員" } },
            { "nested group", AdDc::satoHanako, { "佐藤 花子", "佐藤 花子", "佐藤", "花子" }, { "東京支店メンバー" } },
            { "escaped comma", AdDc::yamadaJiro, { "Yamada, Jiro", "Yamada, Jiro", "Yamada", "Jiro" }, { "全社員" } },
            { "escaped equals sign", AdDc::suzukiEquals, { "鈴木=一郎", "鈴木=一郎", "鈴木", "一郎" }, { "全社員" } },
            { "escaped number sign", AdDc::takahashiHash, { "#高橋 直子", "#高橋 直子", "高橋", "直子" },
                { "全社員" } },
            // Domain Users is the primary group, which memberOf does not name.
            { "the test account", AdDc::tester, { "mivora-tester", "Mivora Tester", "Tester", "Mivora" }, {} },
        });
    }
    void userTabShowsNamesAndGroups() { userTabCase(ListOrder::ServersOwn); }

    void groupTabListsMembersAndMemberships_data()
    {
        groupTabRows({
            { "nested, with a computer", AdDc::salesMembers, "営業部メンバー",
                { "PC-EIGYO-001", "山田 太郎", "東京支店メンバー" }, { "全社員" } },
            { "members with escaped DNs", AdDc::allStaff, "全社員",
                { "#高橋 直子", "Yamada, Jiro", "営業部メンバー", "田中 実", "鈴木=一郎" }, {} },
            { "in a nested group", AdDc::tokyoMembers, "東京支店メンバー", { "佐藤 花子" }, { "営業部メンバー" } },
            { "members by primary group only", AdDc::domainUsers, "Domain Users", {}, { "Users" } },
        });
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
        nameTabRows({ { "in a Japanese OU", AdDc::pcSales, 1, "PC-EIGYO-001" },
            { "in CN=Computers", AdDc::pc0001, 1, "PC-0001" }, { "the domain controller", AdDc::dc1, 1, "DC1" } });
    }
    void computerOpensOnTheComputerTab() { nameTabCase(); }

    void containersAndOusOpenOnTheFirstTab_data()
    {
        nameTabRows({ { "organizational unit", AdDc::sales, 0, "営業部" },
            { "domain controllers", AdDc::domainControllers, 0, "Domain Controllers" },
            { "container", AdDc::users, 0, "Users" }, { "container in an OU", AdDc::salesDocuments, 0, "資料" } });
    }
    void containersAndOusOpenOnTheFirstTab() { nameTabCase(); }

    void objectsWithoutATabWarn_data()
    {
        oneColumn<QString>("dn",
            { { "the domain (domainDNS)", AdDc::base }, { "builtinDomain", AdDc::builtin },
                { "contact", AdDc::usersContact } });
    }
    void objectsWithoutATabWarn() { noTabCase(); }
};

QTEST_MAIN(AdFrmDet)
#include "ad_frmDet.moc"
