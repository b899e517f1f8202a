// The directory probes against the sample directory (ctest's slapd fixture).
#include "ProbeTests.h"
#include "TestDirectory.h"
#include "directory/LdapDirectory.h"
#include "directory/ServerLocator.h"
#include "probes/LdapNamespace.h"

#include <ctime>

using namespace probetests;
using directory::AdsPath;
using directory::serverUriFor;

class ItProbes : public ProbeSuite {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        qputenv("TZ", "Asia/Tokyo");
        ::tzset();
    }

    void theConfiguredDomainNameIsServedByTheConfiguredServer()
    {
        const QString configured = serverUriFor(AdsPath::parse(QStringLiteral("LDAP://DC=example,DC=test")));
        QVERIFY2(configured.startsWith(QLatin1String("ldapi://")), qPrintable(configured));
        QCOMPARE(serverUriFor(AdsPath::parse(QStringLiteral("LDAP://example.test"))), configured);
        QCOMPARE(serverUriFor(AdsPath::parse(QStringLiteral("LDAP://Example.TEST/CN=Users,DC=example,DC=test"))),
            configured);
        // A port, another name or an address names a host.
        QCOMPARE(serverUriFor(AdsPath::parse(QStringLiteral("LDAP://example.test:389"))),
            QStringLiteral("ldap://example.test:389"));
        QCOMPARE(serverUriFor(AdsPath::parse(QStringLiteral("LDAP://dc1.example.test"))),
            QStringLiteral("ldap://dc1.example.test"));
        QCOMPARE(serverUriFor(AdsPath::parse(QStringLiteral("LDAP://test"))), QStringLiteral("ldap://test"));
        QCOMPARE(serverUriFor(AdsPath::parse(QStringLiteral("LDAP://127.0.0.1"))), QStringLiteral("ldap://127.0.0.1"));
    }

    void command1ShowsTheDomainsNameAndCreationTime()
    {
        probe->click(1);
        // whenCreated is 20240401090000.0Z: 18:00 in Tokyo.
        QCOMPARE(probe->boxes,
            QList<Box>({ { "example", platform::MessageIcon::None },
                { "2024/04/01 18:00:00", platform::MessageIcon::None } }));
    }

    void command2RunsToItsEnd()
    {
        RecordingDirectory* recorder = RecordingDirectory::install(std::make_unique<directory::LdapDirectory>());
        probe->click(2);
        QCOMPARE(recorder->boundPaths, QStringList({ "LDAP://DC=example,DC=test", "LDAP://example.test" }));
        QVERIFY(recorder->failedBinds.isEmpty());
        QCOMPARE(recorder->enumerations.size(), 1);
        const RecordingDirectory::Enumeration& listing = recorder->enumerations.constFirst();
        // The domain object found through the root DSE's defaultNamingContext.
        QCOMPARE(listing.dn, QStringLiteral("DC=example,DC=test"));
        QCOMPARE(listing.classFilter, QStringList());
        // Every child of the root, the four outside the browser's five classes included.
        QCOMPARE(listing.children, 14);
        QVERIFY(probe->boxes.isEmpty());
    }

    void command3StopsAtOpenDSObjectWhenTheDirectoryRefusesTheFixedAccount()
    {
        RecordingDirectory* recorder = RecordingDirectory::install(std::make_unique<directory::LdapDirectory>());
        probe->click(3);
        QCOMPARE(recorder->opens.size(), 1);
        const RecordingDirectory::OpenCall& open = recorder->opens.constFirst();
        QCOMPARE(open.path, QStringLiteral("LDAP://DC=example,DC=test"));
        QCOMPARE(open.user, QStringLiteral("administrator"));
        QCOMPARE(open.password, QStringLiteral("4821rum"));
        QVERIFY(open.failed);
        QVERIFY(recorder->enumerations.isEmpty());
        QVERIFY(probe->boxes.isEmpty());
    }

    void openDSObjectOfTheLdapNamespaceReadsOnItsOwnConnection()
    {
        // What Command3 does, with an account the sample directory accepts.
        auto* ldap = new directory::LdapDirectory;
        directory::setCurrentDirectory(std::unique_ptr<directory::Directory>(ldap));
        const probes::LdapNamespace ldapNamespace = probes::LdapNamespace::bind(QStringLiteral("LDAP:"));
        const directory::DirObject root = ldapNamespace.OpenDSObject(QStringLiteral("LDAP://DC=example,DC=test"),
            TestDirectory::administratorDn, TestDirectory::administratorPassword, probes::ADS_SECURE_AUTHENTICATION);
        QStringList names;
        directory::currentDirectory().enumerate(root, {}, [&](const directory::Directory::Batch& batch) {
            for (const directory::DirObject& child : batch)
                names.append(child.name());
        });
        QCOMPARE(names.size(), 14);
        QVERIFY(names.contains(QStringLiteral("cn=Users")));
        // The bind with explicit credentials does not join the shared connections.
        QCOMPARE(ldap->openConnectionCount(), 0);
    }
};

QTEST_MAIN(ItProbes)
#include "it_Probes.moc"
