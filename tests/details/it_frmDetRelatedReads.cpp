// Members and memberships that one search finds mixed with ones only a read of their own reaches:
// entries without memberOf (or whose group lacks the member), values written unlike the entry's
// own DN, the hidden group, missing entries, and entries the search returns that are no value of
// the list. The window must show what reading every value one by one shows. A private server
// holds the extra entries.
#include "DetailsTestSupport.h"
#include "PrivateDetailsSuite.h"
#include "details/GroupReads.h"

#include <QTabWidget>
#include <QTest>
#include <memory>

namespace {

const QString users = QStringLiteral(",CN=Users,DC=example,DC=test");
const QString sales = QStringLiteral(",OU=営業部,DC=example,DC=test");
const QString hidden = QStringLiteral("CN=機密プロジェクト,CN=Users,DC=example,DC=test");
const QString missing = QStringLiteral("CN=どこにもいない") + users;

// Members: found by the search (memberOf names the groups) or not (no memberOf).
const QString found1 = QStringLiteral("CN=検索で見つかる一") + users;
const QString readOnly2 = QStringLiteral("CN=個別に読む二") + users;
const QString kato = QStringLiteral("CN=Kato\\, Saburo") + users;
// The same entry written another way: types in lower case, the value's case changed, the comma
// escaped in hex, blanks after the separators.
const QString katoWrittenOtherwise = QStringLiteral("cn=KATO\\2c saburo, cn=users, dc=Example, dc=TEST");
const QString found4 = QStringLiteral("CN=検索で見つかる四") + sales;
// Returned by the search but no member value: the same first RDN as a member elsewhere, and one
// with memberOf alone.
const QString sameNameElsewhere = QStringLiteral("CN=検索で見つかる一") + sales;
const QString notAMember = QStringLiteral("CN=メンバーではない五") + users;

const QString stoppingGroup = QStringLiteral("CN=途中で止まる混在グループ") + users;
const QString fullGroup = QStringLiteral("CN=全部読める混在グループ") + users;
const QString membershipStopGroup = QStringLiteral("CN=所属が途中で止まるグループ") + users;
// Members in list order: before the hidden one, one of each kind.
const QStringList stoppingMembers { found1, readOnly2, katoWrittenOtherwise, hidden, found4, missing };
const QStringList fullMembers { found4, readOnly2, katoWrittenOtherwise, found1 };

// Groups of the memberships: g1 and g3 hold the member, g2 does not (its value is read alone),
// g4 holds it without being a value of memberOf.
const QString g1 = QStringLiteral("CN=所属一") + users;
const QString g2 = QStringLiteral("CN=所属二") + sales;
const QString g3 = QStringLiteral("CN=Gruppe\\+Drei") + users;
const QString g4 = QStringLiteral("CN=所属していない四") + users;
const QString user = QStringLiteral("CN=混在所属の利用者") + users;
const QStringList userMemberOf { g3, missing, g1, hidden, g2 };
const QStringList fullGroupMemberOf { g2, g1 };
const QStringList stopGroupMemberOf { g1, hidden, g3 };

QByteArray extraEntries()
{
    const QStringList allThree { stoppingGroup, fullGroup, membershipStopGroup };
    QByteArray ldif;
    for (const QString& dn : { found1, kato, found4, sameNameElsewhere, notAMember })
        ldif += ldifEntry(dn, userClasses, {}, allThree);
    ldif += ldifEntry(readOnly2, userClasses, {}, {});
    ldif += ldifEntry(stoppingGroup, groupClasses, stoppingMembers, {});
    ldif += ldifEntry(fullGroup, groupClasses, fullMembers, fullGroupMemberOf);
    ldif += ldifEntry(membershipStopGroup, groupClasses, { found1 }, stopGroupMemberOf);
    ldif += ldifEntry(g1, groupClasses, { user, fullGroup, membershipStopGroup }, {});
    ldif += ldifEntry(g2, groupClasses, {}, {});
    ldif += ldifEntry(g3, groupClasses, { user, membershipStopGroup }, {});
    ldif += ldifEntry(g4, groupClasses, { user, fullGroup, membershipStopGroup }, {});
    return ldif + ldifEntry(user, userClasses, {}, userMemberOf);
}

QStringList namesOf(const QStringList& dns)
{
    QStringList names;
    for (const QString& dn : dns)
        names.append(cnOf(dn));
    return names;
}

// Each result as text: the value, or the error's number and description.
QStringList described(const std::vector<directory::ReadResult>& results)
{
    QStringList texts;
    for (const directory::ReadResult& result : results)
        texts.append(result.error ? result.error->reportText() : QStringLiteral("= ") + result.value.toString());
    return texts;
}

} // namespace

class ItFrmDetRelatedReads : public PrivateDetailsSuiteOf<extraEntries> {
    Q_OBJECT
private slots:
    void groupListsFoundAndSeparatelyReadMembersInMemberOrder()
    {
        verifyGroupLists(fullGroup, { cnOf(found4), cnOf(readOnly2), QStringLiteral("Kato, Saburo"), cnOf(found1) },
            namesOf(fullGroupMemberOf));
    }

    void groupStopsAtTheHiddenMemberWithTheMembersBeforeIt()
    {
        MessageRecorder recorder;

        const auto det = openOn(stoppingGroup);
        verifyHiddenEntryBox(recorder.boxes);
        QCOMPARE(det->sstDet->currentIndex(), 2);
        const QStringList before { cnOf(found1), cnOf(readOnly2), QStringLiteral("Kato, Saburo") };
        QCOMPARE(entriesOf(det->lstGrpGroup), before);
        QCOMPARE(det->lstGrpMember->count(), 0);

        QVERIFY(!det->ShowDetail(mdlMain::strObjectPath));
        QCOMPARE(recorder.boxes.size(), 2);
        QCOMPARE(recorder.boxes[1].text, recorder.boxes[0].text);
        QCOMPARE(entriesOf(det->lstGrpGroup), before);
    }

    void groupStopsAtTheHiddenMembershipAfterItsMembers()
    {
        MessageRecorder recorder;

        const auto det = openOn(membershipStopGroup);
        verifyHiddenEntryBox(recorder.boxes);
        QCOMPARE(entriesOf(det->lstGrpGroup), QStringList { cnOf(found1) });
        QCOMPARE(entriesOf(det->lstGrpMember), QStringList { cnOf(g1) });
    }

    void userSkipsHiddenAndMissingGroupsAndListsNoOtherGroup()
    {
        MessageRecorder recorder;

        const auto det = openOn(user);
        QVERIFY(recorder.boxes.isEmpty());
        QCOMPARE(det->sstDet->currentIndex(), 3);
        const QStringList expected { QStringLiteral("Gruppe+Drei"), cnOf(g1), cnOf(g2) };
        QCOMPARE(entriesOf(det->lstUsrGroup), expected);
        QVERIFY(det->ShowDetail(mdlMain::strObjectPath));
        QCOMPARE(entriesOf(det->lstUsrGroup), expected);
    }

    // Entry by entry, errors included, the reads of the lists equal one read per value.
    void listsEqualOneReadPerValue_data()
    {
        QTest::addColumn<QString>("dn");
        for (const QString& dn : { stoppingGroup, fullGroup, membershipStopGroup, user })
            QTest::newRow(qPrintable(cnOf(dn))) << dn;
        // From the shared sample data: nested groups, the hidden member, members in other OUs.
        QTest::newRow("プロジェクトA") << QStringLiteral("CN=プロジェクトA") + users;
        QTest::newRow("全社員") << QStringLiteral("CN=全社員,DC=example,DC=test");
        QTest::newRow("伊藤 健") << QStringLiteral("CN=伊藤 健,OU=東京支店") + sales;
    }
    void listsEqualOneReadPerValue()
    {
        QFETCH(QString, dn);
        directory::Directory& directory = directory::currentDirectory();
        const directory::DirObject object = directory.bind(QStringLiteral("LDAP://") + dn);
        QStringList memberOfPaths;
        for (const QString& group : object.get(QStringLiteral("MemberOf")).toStringList())
            memberOfPaths.append(QStringLiteral("LDAP://") + group);
        const auto memberships = described(details::membershipNames(object));
        QCOMPARE(memberships, described(directory.readEach(memberOfPaths, QStringLiteral("cn"))));
        if (object.className() == u"group") {
            const auto members = described(details::memberNames(object));
            QCOMPARE(members, described(directory.readEach(directory.members(object), QStringLiteral("cn"))));
            QVERIFY(!members.isEmpty());
        } else {
            QVERIFY(!memberships.isEmpty());
        }
    }
};

QTEST_MAIN(ItFrmDetRelatedReads)
#include "it_frmDetRelatedReads.moc"
