#include "DataTable.h"
#include "directory/AdsPath.h"
#include "directory/DirectoryError.h"

#include <QTest>

using directory::AdsPath;
using directory::DirectoryError;

class TestAdsPath : public QObject {
    Q_OBJECT
private slots:
    void parsesTheThreeForms_data()
    {
        textTable({ "text", "server", "dn" },
            {
                { "serverless", { "LDAP://DC=example,DC=test", "", "DC=example,DC=test" } },
                { "host and port", { "LDAP://127.0.0.1:389/CN=Users,DC=x", "127.0.0.1:389", "CN=Users,DC=x" } },
                { "host alone", { "LDAP://dc1.example.test", "dc1.example.test", "" } },
                { "ipv6", { "LDAP://[::1]:3890/DC=x", "[::1]:3890", "DC=x" } },
                // A slash inside a serverless DN is part of the DN: the first RDN has an '='.
                { "slash in dn", { "LDAP://CN=a/b,DC=x", "", "CN=a/b,DC=x" } },
                { "empty dc label", { "LDAP://DC=example,DC=", "", "DC=example,DC=" } },
                { "japanese", { "LDAP://OU=営業部,DC=x", "", "OU=営業部,DC=x" } },
                { "no dn, like a host", { "LDAP:///evil.example:636/DC=x", "", "evil.example:636/DC=x" } },
            });
    }
    void parsesTheThreeForms()
    {
        QFETCH(QString, text);
        QFETCH(QString, server);
        QFETCH(QString, dn);
        const AdsPath path = AdsPath::parse(text);
        QCOMPARE(path.server(), server);
        QCOMPARE(path.dn(), dn);
        QCOMPARE(path.toString(), text);
    }

    void malformedPathsFailWithBadPathName_data()
    {
        oneColumn<QString>("text",
            {
                { "empty", "" },
                { "provider alone", "LDAP://" },
                { "lower-case provider", "ldap://DC=x" },
                { "other provider", "WinNT://host" },
                { "no slashes", "LDAP:DC=x" },
                { "port not a number", "LDAP://host:abc/DC=x" },
                { "port out of range", "LDAP://host:70000/DC=x" },
                { "empty port", "LDAP://host:/DC=x" },
                { "host with space", "LDAP://bad host/DC=x" },
                { "host then nothing", "LDAP://host/" },
                { "unclosed bracket", "LDAP://[::1/DC=x" },
                { "control character", "LDAP://ho\x01st/DC=x" },
            });
    }
    void malformedPathsFailWithBadPathName()
    {
        QFETCH(QString, text);
        try {
            AdsPath::parse(text);
            QFAIL("parsed a malformed path");
        } catch (const DirectoryError& error) {
            QCOMPARE(error.number(), directory::hresult::BadPathName);
            QVERIFY(!error.description().isEmpty());
        }
    }

    void childPathsKeepTheServer()
    {
        const AdsPath parent = AdsPath::parse(QStringLiteral("LDAP://srv:1389/DC=x"));
        QCOMPARE(parent.withDn(QStringLiteral("CN=a,DC=x")).toString(), QStringLiteral("LDAP://srv:1389/CN=a,DC=x"));
        const AdsPath serverless = AdsPath::parse(QStringLiteral("LDAP://DC=x"));
        QCOMPARE(serverless.withDn(QStringLiteral("CN=a,DC=x")).toString(), QStringLiteral("LDAP://CN=a,DC=x"));
    }
};

QTEST_APPLESS_MAIN(TestAdsPath)
#include "test_AdsPath.moc"
