// The directory layer against a real Active Directory (Samba's): GSSAPI as the test account,
// search references among the children, the class chains, DNs with escapes, ranged member reads.
#include "AdDc.h"
#include "DirectoryListing.h"
#include "directory/LdapDirectory.h"

#include <QProcess>
#include <QSet>

using directory::DirObject;
using directory::LdapDirectory;

using namespace listing;

class AdLdapDirectory : public QObject {
    Q_OBJECT
private slots:
    void init() { AD_DC_SKIP_UNLESS_RUNNING(); }

    void childrenLeaveOutTheReferencesToOtherPartitions_data()
    {
        QTest::addColumn<QStringList>("classes");
        QTest::newRow("five classes") << fiveClasses;
        QTest::newRow("every class") << QStringList();
    }
    void childrenLeaveOutTheReferencesToOtherPartitions()
    {
        QFETCH(QStringList, classes);
        // The server does refer to the partitions below the domain's root.
        QProcess ldapsearch;
        ldapsearch.start(QStringLiteral("ldapsearch"),
            { QStringLiteral("-Q"), QStringLiteral("-s"), QStringLiteral("one"), QStringLiteral("-b"), AdDc::base,
                QStringLiteral("dn") });
        QVERIFY(ldapsearch.waitForFinished(60000));
        const QString output = QString::fromUtf8(ldapsearch.readAllStandardOutput());
        for (const QString& partition : AdDc::referredPartitions)
            QVERIFY2(
                output.contains(QStringLiteral("ref: ldap://example.test/") + partition + QStringLiteral("??base")),
                qPrintable(output));

        LdapDirectory directory;
        const QStringList dns = dnsOf(childrenOf(directory, AdDc::adsPath(AdDc::base), classes));

        const QString filter
            = classes.isEmpty() ? QStringLiteral("(objectClass=*)") : LdapDirectory::classFilterText(classes);
        QCOMPARE(dns, AdDc::valuesOf(AdDc::ldapsearch(AdDc::base, QStringLiteral("one"), filter, "dn"), "dn"));
        for (const QString& partition : AdDc::referredPartitions)
            QVERIFY(!dns.contains(partition));
        for (const QString& child : { AdDc::users, AdDc::computers, AdDc::domainControllers, AdDc::system })
            QVERIFY2(dns.contains(child), qPrintable(child));
        // builtinDomain, lostAndFound, infrastructureUpdate and contact are none of the five.
        for (const QString& other : { AdDc::builtin, AdDc::lostAndFound, AdDc::infrastructure, AdDc::rootContact })
            QCOMPARE(dns.contains(other), classes.isEmpty());
    }

    void classIsTheMostSpecificOfTheChain_data()
    {
        QTest::addColumn<QString>("dn");
        QTest::addColumn<QString>("className");
        QTest::newRow("domain") << AdDc::base << "domainDNS";
        QTest::newRow("container") << AdDc::users << "container";
        QTest::newRow("organizational unit") << AdDc::domainControllers << "organizationalUnit";
        QTest::newRow("Japanese OU") << AdDc::tokyo << "organizationalUnit";
        QTest::newRow("user") << AdDc::yamadaTaro << "user";
        QTest::newRow("computer") << AdDc::pcSales << "computer";
        QTest::newRow("domain controller") << AdDc::dc1 << "computer";
        QTest::newRow("group") << AdDc::salesMembers << "group";
        QTest::newRow("contact") << AdDc::rootContact << "contact";
        QTest::newRow("builtin domain") << AdDc::builtin << "builtinDomain";
    }
    void classIsTheMostSpecificOfTheChain()
    {
        QFETCH(QString, dn);
        QFETCH(QString, className);
        LdapDirectory directory;

        const DirObject object = directory.bind(AdDc::adsPath(dn));

        QCOMPARE(object.className(), className);
        // Samba gives the whole chain from top, not one structural class as slapd does.
        const QList<QByteArray> chain = object.rawValues(QStringLiteral("structuralObjectClass"));
        QVERIFY(chain.size() >= 2);
        QCOMPARE(chain.constFirst(), QByteArray("top"));
        // A listing gives its children the same class as a bind.
        if (dn != AdDc::base) {
            const QString parent = dn.mid(directory::dn::firstRdn(dn).size() + 1);
            for (const DirObject& child : childrenOf(directory, AdDc::adsPath(parent), {})) {
                if (child.dn() == dn)
                    QCOMPARE(child.className(), className);
            }
        }
    }

    void escapedDnsAreShownAsGivenAndBoundAgain_data()
    {
        QTest::addColumn<QString>("dn");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("cn");
        QTest::newRow("comma") << AdDc::yamadaJiro << "CN=Yamada\\, Jiro"
                               << "Yamada, Jiro";
        QTest::newRow("equals sign as hex") << AdDc::suzukiEquals << "CN=鈴木\\3D一郎"
                                            << "鈴木=一郎";
        QTest::newRow("leading number sign") << AdDc::takahashiHash << "CN=\\#高橋 直子"
                                             << "#高橋 直子";
    }
    void escapedDnsAreShownAsGivenAndBoundAgain()
    {
        QFETCH(QString, dn);
        QFETCH(QString, name);
        QFETCH(QString, cn);
        LdapDirectory directory;

        QList<DirObject> found;
        for (const DirObject& child : childrenOf(directory, AdDc::adsPath(AdDc::users))) {
            if (child.dn() == dn)
                found.append(child);
        }
        QCOMPARE(found.size(), 1);
        QCOMPARE(found[0].name(), name);
        QCOMPARE(found[0].adsPath(), AdDc::adsPath(dn));

        const DirObject again = directory.bind(found[0].adsPath());
        QCOMPARE(again.dn(), dn);
        QCOMPARE(again.get(QStringLiteral("cn")).toString(), cn);
        QCOMPARE(again.className(), QStringLiteral("user"));
        // And as a member of a group, read pipelined with the others.
        const QStringList members = directory.members(directory.bind(AdDc::adsPath(AdDc::allStaff)));
        QVERIFY(members.contains(AdDc::adsPath(dn)));
        const std::vector<directory::ReadResult> names = directory.readEach(members, QStringLiteral("cn"));
        QStringList cns;
        for (const directory::ReadResult& result : names) {
            QVERIFY(!result.error);
            cns.append(result.value.toString());
        }
        QVERIFY(cns.contains(cn));
    }

    void membersComeInRangesOfTheRequestedStep_data()
    {
        QTest::addColumn<qint64>("step");
        QTest::newRow("the server's own ranges") << qint64(0);
        QTest::newRow("1,600 values in 229 ranges of 7") << qint64(7);
        QTest::newRow("ranges of 500") << qint64(500);
        QTest::newRow("one range of exactly all") << qint64(1600);
        QTest::newRow("one range of more than all") << qint64(5000);
    }
    void membersComeInRangesOfTheRequestedStep()
    {
        QFETCH(qint64, step);
        LdapDirectory directory;
        directory.setMemberRangeStep(step);

        const QStringList members = directory.members(directory.bind(AdDc::adsPath(AdDc::bulkGroup)));

        QCOMPARE(members.size(), AdDc::bulkUsers);
        // In the server's order, as one plain read of member gives them, each once.
        QStringList plain;
        for (const QString& dn : AdDc::valuesOf(
                 AdDc::ldapsearch(AdDc::bulkGroup, QStringLiteral("base"), QStringLiteral("(objectClass=*)"), "member"),
                 "member"))
            plain.append(AdDc::adsPath(dn));
        QCOMPARE(members, plain);
        const QStringList expected = AdDc::bulkUserPaths();
        QCOMPARE(QSet<QString>(members.begin(), members.end()), QSet<QString>(expected.begin(), expected.end()));
    }

    void smallGroupsAndEmptyOnesInRangesToo()
    {
        LdapDirectory directory;
        directory.setMemberRangeStep(1);
        const QStringList members = directory.members(directory.bind(AdDc::adsPath(AdDc::salesMembers)));
        QCOMPARE(QSet<QString>(members.begin(), members.end()),
            QSet<QString>(
                { AdDc::adsPath(AdDc::yamadaTaro), AdDc::adsPath(AdDc::tokyoMembers), AdDc::adsPath(AdDc::pcSales) }));
        QCOMPARE(members.size(), 3);
        // A group nobody is in ("Domain Users" holds its members by primaryGroupID).
        QVERIFY(directory.members(directory.bind(AdDc::adsPath(AdDc::domainUsers))).isEmpty());
    }
};

QTEST_GUILESS_MAIN(AdLdapDirectory)
#include "ad_LdapDirectory.moc"
