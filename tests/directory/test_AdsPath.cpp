#include "DataTable.h"
#include "directory/AdsPath.h"
#include "directory/DirectoryError.h"
#include "directory/RootPath.h"

#include <QTest>

using directory::AdsPath;
using directory::DirectoryError;
namespace dn = directory::dn;

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

    void firstRdnKeepsTheServersSpelling_data()
    {
        textTable({ "dn", "rdn", "value" },
            {
                { "plain", { "cn=Users,dc=example,dc=test", "cn=Users", "Users" } },
                { "escaped comma", { "CN=Yamada\\, Jiro,CN=Users,DC=x", "CN=Yamada\\, Jiro", "Yamada, Jiro" } },
                { "hex escapes", { "CN=a\\3Db\\23,DC=x", "CN=a\\3Db\\23", "a=b#" } },
                { "utf8 hex", { "CN=\\E5\\B1\\B1,DC=x", "CN=\\E5\\B1\\B1", "山" } },
                { "quoted", { "CN=\"a,b\",DC=x", "CN=\"a,b\"", "a,b" } },
                { "multi-valued rdn", { "CN=a+UID=b,DC=x", "CN=a+UID=b", "a" } },
                { "single rdn", { "DC=test", "DC=test", "test" } },
                { "empty value", { "DC=,DC=x", "DC=", "" } },
                { "trailing backslash", { "CN=a\\", "CN=a\\", "a\\" } },
                // toInt would read "+1" and " 1" as hex numbers and make control characters of them.
                { "escaped plus before a digit", { "CN=a\\+1,DC=x", "CN=a\\+1", "a+1" } },
                { "escaped blank before a digit", { "CN=\\ 1,DC=x", "CN=\\ 1", " 1" } },
                { "escaped minus before hex", { "CN=\\-f,DC=x", "CN=\\-f", "-f" } },
            });
    }
    void firstRdnKeepsTheServersSpelling()
    {
        QFETCH(QString, dn);
        QFETCH(QString, rdn);
        QFETCH(QString, value);
        QCOMPARE(dn::firstRdn(dn), rdn);
        QCOMPARE(dn::rdnValue(rdn), value);
    }

    void dnSyntaxIsCheckedBeforeAnythingIsSent()
    {
        QVERIFY(dn::isValid(QStringLiteral("DC=example,DC=test")));
        QVERIFY(dn::isValid(QStringLiteral("CN=Yamada\\, Jiro,DC=x")));
        QVERIFY(dn::isValid(QStringLiteral("OU=営業部,DC=x")));
        QVERIFY(!dn::isValid(QStringLiteral("DC=a,,DC=b")));
        QVERIFY(!dn::isValid(QStringLiteral("no equals sign")));
        QVERIFY(!dn::isValid(QStringLiteral("DC=a\\")));
        QVERIFY(!dn::isValid(QString::fromUtf8("DC=a\0b", 6)));
    }

    // The domain root's path from the domain text, label by label, as typed.
    void labelsBecomeDcComponents_data()
    {
        textTable({ "domain", "path" },
            {
                { "two labels", { "example.test", "LDAP://DC=example,DC=test" } },
                { "four labels", { "tokyo.corp.example.jp", "LDAP://DC=tokyo,DC=corp,DC=example,DC=jp" } },
                { "no dot", { "example", "LDAP://DC=example" } },
                { "dot at the end", { "example.", "LDAP://DC=example,DC=" } },
                { "dot at the start", { ".test", "LDAP://DC=,DC=test" } },
                { "two dots in a row", { "a..b", "LDAP://DC=a,DC=,DC=b" } },
                { "a dot alone", { ".", "LDAP://DC=,DC=" } },
                { "blanks kept", { " a . b ", "LDAP://DC= a ,DC= b " } },
                { "case kept", { "Example.TEST", "LDAP://DC=Example,DC=TEST" } },
                { "other characters passed on", { "a,b=c.日本", "LDAP://DC=a,b=c,DC=日本" } },
            });
    }
    void labelsBecomeDcComponents()
    {
        QFETCH(QString, domain);
        QFETCH(QString, path);
        QCOMPARE(directory::rootPath(domain), path);
    }
};

QTEST_APPLESS_MAIN(TestAdsPath)
#include "test_AdsPath.moc"
