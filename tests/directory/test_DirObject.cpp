#include "DataTable.h"
#include "directory/AdBindSubcodes.h"
#include "directory/DirObject.h"
#include "directory/LdapDirectory.h"
#include "directory/LdapErrors.h"
#include "directory/RangedValues.h"

#include <QTest>
#include <ldap.h>
#include <limits>

using directory::AdsPath;
using directory::AttrValue;
using directory::DirectoryError;
using directory::DirObject;
using directory::RangedValues;

namespace {
DirObject object(const QString& dn, const QHash<QString, QStringList>& attributes)
{
    DirObject::Attributes raw;
    for (auto it = attributes.constBegin(); it != attributes.constEnd(); ++it) {
        for (const QString& value : it.value())
            raw[it.key().toLower()].append(value.toUtf8());
    }
    return DirObject(AdsPath::forDn(dn), raw);
}

QList<QByteArray> numbered(int from, int to)
{
    QList<QByteArray> values;
    for (int i = from; i <= to; ++i)
        values.append("CN=m" + QByteArray::number(i));
    return values;
}
} // namespace

class TestDirObject : public QObject {
    Q_OBJECT
private slots:
    void getGivesTheThreeForms()
    {
        const DirObject user = object(QStringLiteral("CN=山田 太郎,DC=x"),
            { { "cn", { "山田 太郎" } }, { "memberOf", { "CN=g1,DC=x", "CN=g2,DC=x" } } });
        QCOMPARE(user.get(QStringLiteral("DisplayName")).form(), AttrValue::Form::Empty);
        QCOMPARE(user.get(QStringLiteral("DisplayName")).toString(), QString());
        QCOMPARE(user.get(QStringLiteral("cn")).form(), AttrValue::Form::Single);
        QCOMPARE(user.get(QStringLiteral("cn")).toString(), QStringLiteral("山田 太郎"));
        QCOMPARE(user.get(QStringLiteral("MemberOf")).form(), AttrValue::Form::Array);
        QCOMPARE(user.get(QStringLiteral("MemberOf")).toStringList(),
            QStringList({ QStringLiteral("CN=g1,DC=x"), QStringLiteral("CN=g2,DC=x") }));
    }

    void adsiNamesMapOntoLdapAttributesWithoutRegardToCase()
    {
        const DirObject user = object(QStringLiteral("cn=u,dc=x"),
            { { "displayName", { "表示" } }, { "sn", { "山田" } }, { "givenName", { "太郎" } },
                { "createTimestamp", { "20240101000000Z" } } });
        QCOMPARE(user.get(QStringLiteral("DISPLAYNAME")).toString(), QStringLiteral("表示"));
        QCOMPARE(user.get(QStringLiteral("LastName")).toString(), QStringLiteral("山田"));
        QCOMPARE(user.get(QStringLiteral("givenname")).toString(), QStringLiteral("太郎"));
        QCOMPARE(user.get(QStringLiteral("whenCreated")).toString(), QStringLiteral("20240101000000Z"));
        // Without a stored "name" the RDN value stands in, unescaped.
        QCOMPARE(object(QStringLiteral("CN=Yamada\\, Jiro,DC=x"), {}).get(QStringLiteral("Name")).toString(),
            QStringLiteral("Yamada, Jiro"));
    }

    void classIsTheMostSpecificClass()
    {
        const auto classOf = [](const QHash<QString, QStringList>& attributes) {
            return object(QStringLiteral("CN=pc,DC=x"), attributes).className();
        };
        // Active Directory lists the chain from top; slapd gives the structural class apart.
        QCOMPARE(classOf({ { "objectClass", { "top", "person", "user", "computer" } } }), QStringLiteral("computer"));
        QCOMPARE(classOf({ { "objectClass", { "computer", "top" } }, { "structuralObjectClass", { "computer" } } }),
            QStringLiteral("computer"));
        QCOMPARE(classOf({}), QString());
        // Callers compare exactly: the server's spelling is kept.
        QCOMPARE(classOf({ { "objectClass", { "User" } } }), QStringLiteral("User"));
    }

    void nameIsTheFirstRdnAsGiven()
    {
        const DirObject users = object(QStringLiteral("cn=Users,dc=example,dc=test"), {});
        QCOMPARE(users.name(), QStringLiteral("cn=Users"));
        QCOMPARE(users.adsPath(), QStringLiteral("LDAP://cn=Users,dc=example,dc=test"));
    }

    void rangedValuesAreReassembledInOrder()
    {
        RangedValues member(QStringLiteral("member"));
        QCOMPARE(member.firstRequest(), QStringLiteral("member"));
        QCOMPARE(member.take({ { QStringLiteral("member;range=0-1499"), numbered(0, 1499) } }),
            std::optional<QString>(QStringLiteral("member;range=1500-*")));
        QCOMPARE(member.take({ { QStringLiteral("member;range=1500-*"), numbered(1500, 1700) } }), std::nullopt);
        QCOMPARE(member.values().size(), 1701);
        QCOMPARE(member.values().at(1500), QByteArray("CN=m1500"));
    }

    void explicitRangeStepsRunSeveralRounds()
    {
        RangedValues member(QStringLiteral("member"), 100);
        QCOMPARE(member.firstRequest(), QStringLiteral("member;range=0-99"));
        QCOMPARE(member.take({ { QStringLiteral("member;range=0-99"), numbered(0, 99) } }),
            std::optional<QString>(QStringLiteral("member;range=100-199")));
        QCOMPARE(member.take({ { QStringLiteral("member;range=100-*"), numbered(100, 150) } }), std::nullopt);
        QCOMPARE(member.values().size(), 151);
    }

    void plainAttributeOrNoneEndsTheRead()
    {
        RangedValues plain(QStringLiteral("member"));
        QCOMPARE(plain.take({ { QStringLiteral("member"), numbered(1, 3) } }), std::nullopt);
        QCOMPARE(plain.values().size(), 3);
        RangedValues none(QStringLiteral("member"));
        QCOMPARE(none.take({ { QStringLiteral("cn"), { "g" } } }), std::nullopt);
        QVERIFY(none.values().isEmpty());
    }

    void aGapOrRepeatInTheRangesIsAnError()
    {
        RangedValues member(QStringLiteral("member"));
        member.take({ { QStringLiteral("member;range=0-9"), numbered(0, 9) } });
        QVERIFY_THROWS_EXCEPTION(
            DirectoryError, member.take({ { QStringLiteral("member;range=0-9"), numbered(0, 9) } }));
        QVERIFY_THROWS_EXCEPTION(
            DirectoryError, member.take({ { QStringLiteral("member;range=20-*"), numbered(20, 25) } }));
    }

    void rangesPastTheirBudgetStopWithWhatCameBefore_data()
    {
        addColumns<int, int, int>({ "perRange", "valueSize", "kept" });
        QTest::newRow("values") << 500000 << 1 << int(RangedValues::maxValues);
        QTest::newRow("bytes") << 1 << 64000000 << 8;
    }
    void rangesPastTheirBudgetStopWithWhatCameBefore()
    {
        QFETCH(int, perRange);
        QFETCH(int, valueSize);
        QFETCH(int, kept);
        const QList<QByteArray> values(perRange, QByteArray(valueSize, 'v'));
        RangedValues member(QStringLiteral("member"));
        for (qint64 low = 0; low < kept; low += perRange)
            member.take({ { QStringLiteral("member;range=%1-%2").arg(low).arg(low + perRange - 1), values } });
        QVERIFY_THROWS_EXCEPTION(
            DirectoryError, member.take({ { QStringLiteral("member;range=%1-*").arg(kept), values } }));
        QCOMPARE(member.values().size(), kept);
    }

    void rangesNearTheLargestNumberNeitherOverflowNorRunOn()
    {
        constexpr qint64 largest = std::numeric_limits<qint64>::max();
        RangedValues endless(QStringLiteral("member"));
        const QString last = QStringLiteral("member;range=0-%1").arg(largest);
        QVERIFY_THROWS_EXCEPTION(DirectoryError, endless.take({ { last, numbered(0, 1) } }));

        // The server picks the low end; the next request must not wrap past the largest number.
        RangedValues stepped(QStringLiteral("member"), 100);
        const qint64 high = largest - 10;
        const QString first = QStringLiteral("member;range=0-%1").arg(high);
        QCOMPARE(stepped.take({ { first, numbered(0, 1) } }),
            std::optional<QString>(QStringLiteral("member;range=%1-%2").arg(high + 1).arg(largest)));
        RangedValues single(QStringLiteral("member"), 1);
        QCOMPARE(single.take({ { QStringLiteral("member;range=0-%1").arg(largest - 1), numbered(0, 1) } }),
            std::optional<QString>(QStringLiteral("member;range=%1-%1").arg(largest)));
    }

    void malformedRangesAreNotRanges()
    {
        for (const char* type : { "member", "member;range=", "member;range=a-b", "member;range=10-5", ";range=0-1" })
            QVERIFY2(!directory::parseValueRange(QString::fromLatin1(type)), type);
        const auto range = directory::parseValueRange(QStringLiteral("Member;Range=5-*"));
        QVERIFY(range);
        QCOMPARE(range->low, 5);
        QVERIFY(!range->high);
    }

    void ldapResultsBecomeTheDocumentedNumbers()
    {
        const std::pair<int, uint32_t> numbers[] = { { LDAP_NO_SUCH_OBJECT, 0x80072030 },
            { LDAP_SERVER_DOWN, 0x8007203A }, { LDAP_INVALID_CREDENTIALS, 0x8007052E },
            { LDAP_INSUFFICIENT_ACCESS, 0x80070005 }, { LDAP_INVALID_DN_SYNTAX, 0x80072032 } };
        for (const auto& [code, number] : numbers)
            QCOMPARE(directory::errorFromLdap(code).number(), static_cast<int32_t>(number));
        QVERIFY(directory::errorFromLdap(LDAP_NO_SUCH_OBJECT).number() < 0);
        const DirectoryError unknown = directory::errorFromLdap(LDAP_OTHER);
        QCOMPARE(unknown.number(), static_cast<int32_t>(0x80004005));
        QVERIFY(unknown.description().contains(QStringLiteral("LDAP 80")));
    }

    void messageExcerptsNeverEndInHalfACharacter()
    {
        const QString face = QStringLiteral("\U0001F600");
        QCOMPARE(directory::messageExcerpt(QString(199, u'a') + face, 200), QString(199, u'a'));
        QCOMPARE(directory::messageExcerpt(QString(198, u'a') + face, 200), QString(198, u'a') + face);
        QCOMPARE(directory::messageExcerpt(QStringLiteral("short"), 200), QStringLiteral("short"));
        // The server's words are cut at 500 units: a pair across the cut goes whole.
        const QString words = QString(499, u'x') + face + QStringLiteral("tail");
        const QString text = directory::errorFromLdap(LDAP_OTHER, words).description();
        QVERIFY(!text.contains(face));
        QVERIFY(text.contains(QString(499, u'x') + u')'));
        for (QChar c : text)
            QVERIFY(!c.isSurrogate());
    }

    void errorTextHasNumberCrLfDescriptionAndTheServersWords()
    {
        const DirectoryError error = directory::errorFromLdap(LDAP_INVALID_CREDENTIALS,
            QStringLiteral("80090308: LdapErr: DSID-0C09042A, comment: AcceptSecurityContext error, data 775, v3839"));
        QVERIFY(error.reportText().startsWith(QStringLiteral("-2147023570\r\n")));
        QVERIFY(error.description().contains(QStringLiteral("ロックアウト")));
        QVERIFY(error.description().contains(QStringLiteral("data 775")));
        QCOMPARE(directory::adBindSubcodeText(QStringLiteral("no sub-code")), QString());
    }

    void classFilterIsEscaped()
    {
        QCOMPARE(directory::LdapDirectory::classFilterText({ QStringLiteral("user"), QStringLiteral("group") }),
            QStringLiteral("(|(objectClass=user)(objectClass=group))"));
        QCOMPARE(directory::LdapDirectory::classFilterText({ QStringLiteral("a*)(b") }),
            QStringLiteral("(|(objectClass=a\\2a\\29\\28b))"));
        QCOMPARE(directory::LdapDirectory::classFilterText({}), QStringLiteral("(objectClass=*)"));
    }
};

QTEST_APPLESS_MAIN(TestDirObject)
#include "test_DirObject.moc"
