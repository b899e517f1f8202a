#include "DataTable.h"
#include "DirectoryListing.h"
#include "ErrorNumber.h"
#include "directory/LdapDirectory.h"

#include <QTest>

using directory::AttrValue;
using directory::DirectoryError;
using directory::DirObject;
using directory::LdapDirectory;
using namespace listing;

namespace {
const QString root = QStringLiteral("LDAP://DC=example,DC=test");

QString path(const QString& dn)
{
    return QStringLiteral("LDAP://") + dn;
}

} // namespace

class ItLdapDirectory : public QObject {
    Q_OBJECT
private slots:
    void bindsTheDomainRootAsTheRunningUser()
    {
        LdapDirectory directory;
        const DirObject domain = directory.bind(root);
        QCOMPARE(domain.className(), QStringLiteral("domainDNS"));
        QCOMPARE(domain.adsPath(), root);
        QCOMPARE(domain.get(QStringLiteral("whenCreated")).toString(), QStringLiteral("20240401090000.0Z"));
        QCOMPARE(domain.get(QStringLiteral("Name")).toString(), QStringLiteral("example"));
    }

    void propertiesOfEachSampleClass_data()
    {
        textTable({ "dn", "className", "name" },
            {
                { "container", { "cn=Users,dc=example,dc=test", "container", "cn=Users" } },
                { "ou", { "ou=営業部,dc=example,dc=test", "organizationalUnit", "ou=営業部" } },
                { "group", { "cn=全社員,dc=example,dc=test", "group", "cn=全社員" } },
                { "computer", { "cn=SRV01,cn=Computers,dc=example,dc=test", "computer", "cn=SRV01" } },
                { "user", { "cn=山田 太郎,ou=営業部,dc=example,dc=test", "user", "cn=山田 太郎" } },
                { "escaped", { "cn=Yamada\\2C Jiro,cn=Users,dc=example,dc=test", "user", "cn=Yamada\\2C Jiro" } },
            });
    }
    void propertiesOfEachSampleClass()
    {
        QFETCH(QString, dn);
        QFETCH(QString, className);
        QFETCH(QString, name);
        LdapDirectory directory;
        const DirObject object = directory.bind(path(dn));
        QCOMPARE(object.className(), className);
        QCOMPARE(object.name(), name);
        QCOMPARE(object.adsPath(), path(dn));
        // The path of a bound object binds again.
        QCOMPARE(directory.bind(object.adsPath()).className(), className);
    }

    void enumeratesTheRootsFiveClassChildrenInServerOrder()
    {
        LdapDirectory directory;
        QStringList names;
        for (const DirObject& child : childrenOf(directory, root))
            names.append(child.name() + u' ' + child.className());
        // A paged one-level search answers in the order the entries were loaded.
        const QStringList expected { QStringLiteral("cn=Computers container"),
            QStringLiteral("ou=Domain Controllers organizationalUnit"), QStringLiteral("cn=Users container"),
            QStringLiteral("ou=営業部 organizationalUnit"), QStringLiteral("cn=全社員 group"),
            QStringLiteral("cn=PC-ROOT-001 computer"), QStringLiteral("cn=高橋 直子 user"),
            QStringLiteral("ou=空の部署 organizationalUnit"), QStringLiteral("ou=外部連絡先 organizationalUnit"),
            QStringLiteral("ou=大量 organizationalUnit") };
        QCOMPARE(names, expected);
        QCOMPARE(
            childrenOf(directory, root).front().adsPath(), QStringLiteral("LDAP://cn=Computers,dc=example,dc=test"));
    }

    void listsTheBigContainerCompletelyPastTheSizeLimit()
    {
        LdapDirectory directory;
        int batches = 0;
        const std::vector<DirObject> all
            = childrenOf(directory, path(QStringLiteral("ou=大量,dc=example,dc=test")), fiveClasses, &batches);
        QCOMPARE(all.size(), size_t(2500));
        QCOMPARE(all.front().name(), QStringLiteral("cn=0001-user"));
        QCOMPARE(all.back().name(), QStringLiteral("cn=2500-grup"));
        QCOMPARE(all.at(124).className(), QStringLiteral("computer"));
        QCOMPARE(batches, 3); // pages of 1000
    }

    void containersWithNothingOfTheFiveClassesEnumerateNothing()
    {
        LdapDirectory directory;
        QVERIFY(childrenOf(directory, path(QStringLiteral("ou=外部連絡先,dc=example,dc=test"))).empty());
        QVERIFY(childrenOf(directory, path(QStringLiteral("ou=空の部署,dc=example,dc=test"))).empty());
        QVERIFY(childrenOf(directory, path(QStringLiteral("cn=高橋 直子,dc=example,dc=test"))).empty());
    }

    void getGivesEmptySingleAndArray()
    {
        LdapDirectory directory;
        const DirObject yamada = directory.bind(path(QStringLiteral("cn=山田 太郎,ou=営業部,dc=example,dc=test")));
        QCOMPARE(yamada.get(QStringLiteral("cn")).toString(), QStringLiteral("山田 太郎"));
        QCOMPARE(yamada.get(QStringLiteral("DisplayName")).toString(), QStringLiteral("山田 太郎"));
        QCOMPARE(yamada.get(QStringLiteral("LastName")).toString(), QStringLiteral("山田"));
        QCOMPARE(yamada.get(QStringLiteral("givenname")).toString(), QStringLiteral("太郎"));
        QCOMPARE(yamada.get(QStringLiteral("MemberOf")).form(), AttrValue::Form::Array);
        QCOMPARE(yamada.get(QStringLiteral("MemberOf")).toStringList(),
            QStringList({ QStringLiteral("CN=営業部メンバー,OU=営業部,DC=example,DC=test"),
                QStringLiteral("CN=プロジェクトA,CN=Users,DC=example,DC=test") }));

        const DirObject tanaka = directory.bind(path(QStringLiteral("cn=田中 実,cn=Users,dc=example,dc=test")));
        QCOMPARE(tanaka.get(QStringLiteral("DisplayName")).form(), AttrValue::Form::Empty);
        QCOMPARE(tanaka.get(QStringLiteral("MemberOf")).form(), AttrValue::Form::Single);

        const DirObject takahashi = directory.bind(path(QStringLiteral("cn=高橋 直子,dc=example,dc=test")));
        QCOMPARE(takahashi.get(QStringLiteral("MemberOf")).form(), AttrValue::Form::Empty);

        const DirObject ou = directory.bind(path(QStringLiteral("ou=営業部,dc=example,dc=test")));
        QCOMPARE(ou.get(QStringLiteral("ou")).toString(), QStringLiteral("営業部"));
    }

    void membersOfANestedGroupInDirectoryOrder()
    {
        LdapDirectory directory;
        const QStringList members
            = directory.members(directory.bind(path(QStringLiteral("cn=営業部メンバー,ou=営業部,dc=example,dc=test"))));
        QCOMPARE(members,
            QStringList({ QStringLiteral("LDAP://CN=山田 太郎,OU=営業部,DC=example,DC=test"),
                QStringLiteral("LDAP://CN=東京支店メンバー,OU=東京支店,OU=営業部,DC=example,DC=test"),
                QStringLiteral("LDAP://CN=PC-EIGYO-001,OU=営業部,DC=example,DC=test") }));
        QVERIFY(directory.members(directory.bind(path(QStringLiteral("cn=空のグループ,cn=Users,dc=example,dc=test"))))
                    .isEmpty());
    }

    void readEachKeepsOrderAndReportsEachFailure()
    {
        LdapDirectory directory;
        const DirObject project = directory.bind(path(QStringLiteral("cn=プロジェクトA,cn=Users,dc=example,dc=test")));
        QStringList paths = directory.members(project);
        paths.append(QStringLiteral("not a path"));
        const std::vector<directory::ReadResult> results = directory.readEach(paths, QStringLiteral("cn"));
        QCOMPARE(results.size(), size_t(5));
        QCOMPARE(results[0].value.toString(), QStringLiteral("鈴木 一郎"));
        QVERIFY(results[1].error); // hidden from the reader
        QCOMPARE(results[1].error->number(), directory::hresult::NoSuchObject);
        QCOMPARE(results[2].value.toString(), QStringLiteral("山田 太郎"));
        QCOMPARE(results[3].value.toString(), QStringLiteral("システム管理者"));
        QCOMPARE(results[4].error->number(), directory::hresult::BadPathName);
    }

    void readsOfManyGiveWhatABindGivesForEveryPropertyTheProgramReads()
    {
        // The reads of many ask the server only for what get() looks at: a name that maps to an
        // attribute they do not ask for would read empty there and not after a bind.
        LdapDirectory directory;
        const QString group = QStringLiteral("cn=営業部メンバー,ou=営業部,dc=example,dc=test");
        QStringList paths = directory.members(directory.bind(path(group)));
        paths << root << path(QStringLiteral("ou=営業部,dc=example,dc=test"));
        for (const char* property :
            { "DisplayName", "LastName", "Name", "whenCreated", "cn", "MemberOf", "givenname", "ou" }) {
            const QString name = QString::fromLatin1(property);
            const auto each = directory.readEach(paths, name);
            const auto related
                = directory.readRelated(paths, name, { directory::Related::Kind::MembersOf, group.toUpper() });
            bool someValue = false;
            for (qsizetype i = 0; i < paths.size(); ++i) {
                const AttrValue bound = directory.bind(paths.at(i)).get(name);
                someValue = someValue || bound.form() != AttrValue::Form::Empty;
                for (const directory::ReadResult* read : { &each.at(size_t(i)), &related.at(size_t(i)) }) {
                    QVERIFY2(!read->error, property);
                    QCOMPARE(read->value.form(), bound.form());
                    QCOMPARE(read->value.toStringList(), bound.toStringList());
                }
            }
            QVERIFY2(someValue, property);
        }
    }

    void aPathThatNamesNoObjectFailsWithNoSuchObject()
    {
        LdapDirectory directory;
        try {
            directory.bind(path(QStringLiteral("OU=ありません,DC=example,DC=test")));
            QFAIL("bound an object that does not exist");
        } catch (const DirectoryError& error) {
            QCOMPARE(error.number(), static_cast<int32_t>(0x80072030));
            QVERIFY(error.description().contains(QStringLiteral("オブジェクトはありません")));
        }
        // The hidden group looks the same to the reader as one that does not exist.
        QCOMPARE(errorNumberOf<DirectoryError>(
                     [&] { directory.bind(path(QStringLiteral("CN=機密プロジェクト,CN=Users,DC=example,DC=test"))); }),
            static_cast<int32_t>(0x80072030));
        // A bad DN is refused before anything is sent.
        QCOMPARE(errorNumberOf<DirectoryError>([&] { directory.bind(path(QStringLiteral("DC=a,,DC=b"))); }),
            directory::hresult::InvalidDnSyntax);
    }

    void aHostThatDoesNotAnswerFailsWithServerDown()
    {
        LdapDirectory directory;
        // Port 1 on loopback: refused at once, nothing leaves the machine.
        QCOMPARE(errorNumberOf<DirectoryError>(
                     [&] { directory.bind(QStringLiteral("LDAP://127.0.0.1:1/DC=example,DC=test")); }),
            static_cast<int32_t>(0x8007203A));
        QCOMPARE(directory.openConnectionCount(), 0);
    }

    void theConnectionIsReusedBetweenBinds()
    {
        LdapDirectory directory;
        directory.bind(root);
        directory.bind(path(QStringLiteral("cn=Users,dc=example,dc=test")));
        childrenOf(directory, root);
        QCOMPARE(directory.openConnectionCount(), 1);
    }

    void hostAloneNamesTheDomainObjectOverTcp()
    {
        QFile portFile(QStringLiteral(MIVORA_TEST_DIRECTORY "/port"));
        QVERIFY(portFile.open(QIODevice::ReadOnly));
        const QString server = QStringLiteral("127.0.0.1:") + QString::fromLatin1(portFile.readAll().trimmed());
        LdapDirectory directory;
        // Over TCP the configured EXTERNAL mechanism has no credentials to offer: the server refuses.
        const int32_t number
            = errorNumberOf<DirectoryError>([&] { directory.bind(QStringLiteral("LDAP://") + server); });
        QVERIFY(number < 0);
        // With the simple bind of the probes' kind it works, and reads the default naming context.
        const DirObject domain = directory.openDSObject(QStringLiteral("LDAP://") + server,
            QStringLiteral("CN=administrator,CN=Users,DC=example,DC=test"), QStringLiteral("Passw0rd"));
        QCOMPARE(domain.dn(), QStringLiteral("DC=example,DC=test"));
        QCOMPARE(domain.adsPath(), QStringLiteral("LDAP://%1/DC=example,DC=test").arg(server));
        int count = 0;
        directory.enumerate(domain, {}, [&](const directory::Directory::Batch& batch) { count += int(batch.size()); });
        QCOMPARE(count, 14);
        // Another directory does not read on this one's session: as for an object without one,
        // it connects as the running user, and the server refuses.
        LdapDirectory other;
        QCOMPARE(errorNumberOf<DirectoryError>([&] { other.enumerate(domain, {}, [](const auto&) {}); }), number);
        QCOMPARE(errorNumberOf<DirectoryError>([&] {
            directory.openDSObject(QStringLiteral("LDAP://") + server + QStringLiteral("/DC=example,DC=test"),
                QStringLiteral("CN=administrator,CN=Users,DC=example,DC=test"), QStringLiteral("4821rum"));
        }),
            static_cast<int32_t>(0x8007052E));
    }
};

QTEST_APPLESS_MAIN(ItLdapDirectory)
#include "it_LdapDirectory.moc"
