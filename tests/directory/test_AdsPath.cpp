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
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("server");
        QTest::addColumn<QString>("dn");
        QTest::newRow("serverless") << "LDAP://DC=example,DC=test"
                                    << ""
                                    << "DC=example,DC=test";
        QTest::newRow("host and port") << "LDAP://127.0.0.1:389/CN=Users,DC=x"
                                       << "127.0.0.1:389"
                                       << "CN=Users,DC=x";
        QTest::newRow("host alone") << "LDAP://dc1.example.test"
                                    << "dc1.example.test"
                                    << "";
        QTest::newRow("ipv6") << "LDAP://[::1]:3890/DC=x"
                              << "[::1]:3890"
                              << "DC=x";
        // A slash inside a serverless DN is part of the DN: the first RDN has an '='.
        QTest::newRow("slash in dn") << "LDAP://CN=a/b,DC=x"
                                     << ""
                                     << "CN=a/b,DC=x";
        QTest::newRow("empty dc label") << "LDAP://DC=example,DC="
                                        << ""
                                        << "DC=example,DC=";
        QTest::newRow("japanese") << "LDAP://OU=営業部,DC=x"
                                  << ""
                                  << "OU=営業部,DC=x";
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
        QTest::addColumn<QString>("text");
        QTest::newRow("empty") << "";
        QTest::newRow("provider alone") << "LDAP://";
        QTest::newRow("lower-case provider") << "ldap://DC=x";
        QTest::newRow("other provider") << "WinNT://host";
        QTest::newRow("no slashes") << "LDAP:DC=x";
        QTest::newRow("port not a number") << "LDAP://host:abc/DC=x";
        QTest::newRow("port out of range") << "LDAP://host:70000/DC=x";
        QTest::newRow("empty port") << "LDAP://host:/DC=x";
        QTest::newRow("host with space") << "LDAP://bad host/DC=x";
        QTest::newRow("host then nothing") << "LDAP://host/";
        QTest::newRow("unclosed bracket") << "LDAP://[::1/DC=x";
        QTest::newRow("control character") << QStringLiteral("LDAP://ho\x01st/DC=x");
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
        QTest::addColumn<QString>("dn");
        QTest::addColumn<QString>("rdn");
        QTest::addColumn<QString>("value");
        QTest::newRow("plain") << "cn=Users,dc=example,dc=test"
                               << "cn=Users"
                               << "Users";
        QTest::newRow("escaped comma") << "CN=Yamada\\, Jiro,CN=Users,DC=x"
                                       << "CN=Yamada\\, Jiro"
                                       << "Yamada, Jiro";
        QTest::newRow("hex escapes") << "CN=a\\3Db\\23,DC=x"
                                     << "CN=a\\3Db\\23"
                                     << "a=b#";
        QTest::newRow("utf8 hex") << "CN=\\E5\\B1\\B1,DC=x"
                                  << "CN=\\E5\\B1\\B1"
                                  << "山";
        QTest::newRow("quoted") << "CN=\"a,b\",DC=x"
                                << "CN=\"a,b\""
                                << "a,b";
        QTest::newRow("multi-valued rdn") << "CN=a+UID=b,DC=x"
                                          << "CN=a+UID=b"
                                          << "a";
        QTest::newRow("single rdn") << "DC=test"
                                    << "DC=test"
                                    << "test";
        QTest::newRow("empty value") << "DC=,DC=x"
                                     << "DC="
                                     << "";
        QTest::newRow("trailing backslash") << "CN=a\\"
                                            << "CN=a\\"
                                            << "a\\";
        // toInt would read "+1" and " 1" as hex numbers and make control characters of them.
        QTest::newRow("escaped plus before a digit") << "CN=a\\+1,DC=x"
                                                     << "CN=a\\+1"
                                                     << "a+1";
        QTest::newRow("escaped blank before a digit") << "CN=\\ 1,DC=x"
                                                      << "CN=\\ 1"
                                                      << " 1";
        QTest::newRow("escaped minus before hex") << "CN=\\-f,DC=x"
                                                  << "CN=\\-f"
                                                  << "-f";
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
        QTest::addColumn<QString>("domain");
        QTest::addColumn<QString>("path");
        QTest::newRow("two labels") << QStringLiteral("example.test") << QStringLiteral("LDAP://DC=example,DC=test");
        QTest::newRow("four labels") << QStringLiteral("tokyo.corp.example.jp")
                                     << QStringLiteral("LDAP://DC=tokyo,DC=corp,DC=example,DC=jp");
        QTest::newRow("no dot") << QStringLiteral("example") << QStringLiteral("LDAP://DC=example");
        QTest::newRow("dot at the end") << QStringLiteral("example.") << QStringLiteral("LDAP://DC=example,DC=");
        QTest::newRow("dot at the start") << QStringLiteral(".test") << QStringLiteral("LDAP://DC=,DC=test");
        QTest::newRow("two dots in a row") << QStringLiteral("a..b") << QStringLiteral("LDAP://DC=a,DC=,DC=b");
        QTest::newRow("a dot alone") << QStringLiteral(".") << QStringLiteral("LDAP://DC=,DC=");
        QTest::newRow("blanks kept") << QStringLiteral(" a . b ") << QStringLiteral("LDAP://DC= a ,DC= b ");
        QTest::newRow("case kept") << QStringLiteral("Example.TEST") << QStringLiteral("LDAP://DC=Example,DC=TEST");
        QTest::newRow("other characters passed on")
            << QStringLiteral("a,b=c.日本") << QStringLiteral("LDAP://DC=a,b=c,DC=日本");
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
