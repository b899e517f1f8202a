// Groups and a user with hundreds of members and memberships, more than the directory layer keeps
// outstanding at once: the lists must be what reading them one after the other gives, with the
// unreadable entries at the edges of those windows. A private server holds the extra entries.
#include "DetailsTestSupport.h"
#include "PrivateDetailsSuite.h"
#include "TestDirectory.h"
#include "directory/LdapDirectory.h"

#include <QTabWidget>
#include <QTest>
#include <memory>

namespace {

constexpr int memberCount = 450;
constexpr int window = directory::LdapDirectory::readWindow;
const QString& hidden = TestDirectory::hiddenGroup;

// An entry that does not exist; one of its own for each place (values of an attribute are distinct).
QString missingAt(int place)
{
    return QStringLiteral("CN=存在しない%1,CN=Users,DC=example,DC=test").arg(place);
}

const QString bigGroup = QStringLiteral("CN=四百五十人のグループ,CN=Users,DC=example,DC=test");
const QString manyGroupsUser = QStringLiteral("CN=多くのグループの利用者,CN=Users,DC=example,DC=test");

QString groupWithUnreadableAt(int position)
{
    return QStringLiteral("CN=%1番目が見えないグループ,CN=Users,DC=example,DC=test").arg(position);
}

// The readable members, in an order that is not the server's: from the last child of ou=大量 down.
QStringList memberDns()
{
    QStringList dns;
    for (int k = memberCount; k >= 1; --k)
        dns.append(TestDirectory::bulkChildDn(k * 5));
    return dns;
}

QStringList cnsOf(const QStringList& dns)
{
    QStringList names;
    for (const QString& dn : dns)
        names.append(cnOf(dn));
    return names;
}

// The first and last place of a window, and the places either side of the boundaries.
const QList<int> unreadablePlaces { 0, window - 1, window, window + 1, 2 * window, memberCount - 1 };

// Every memberOf value of the user: the readable groups of ou=大量 with an unreadable one at each
// unreadable place.
QStringList userMemberships()
{
    QStringList values;
    for (int i = 0; i < memberCount; ++i) {
        if (unreadablePlaces.contains(i))
            values.append(i == window ? hidden : missingAt(i));
        else
            values.append(TestDirectory::bulkChildDn(i + 1));
    }
    return values;
}

QByteArray extraEntries()
{
    QByteArray ldif = ldifEntry(bigGroup, groupClasses, memberDns(), {});
    for (const int place : unreadablePlaces) {
        QStringList members = memberDns();
        members[place] = missingAt(place);
        // A second unreadable member further on must not be the one reported.
        if (place + 7 < memberCount)
            members[place + 7] = hidden;
        ldif += ldifEntry(groupWithUnreadableAt(place), groupClasses, members, {});
    }
    return ldif + ldifEntry(manyGroupsUser, userClasses, {}, userMemberships());
}

} // namespace

class ItFrmDetManyEntries : public PrivateDetailsSuiteOf<extraEntries> {
    Q_OBJECT
private slots:
    void groupListsHundredsOfMembersInMemberOrder() { verifyGroupLists(bigGroup, cnsOf(memberDns()), {}); }

    void groupStopsAtTheFirstUnreadableMemberWhereverItIs_data()
    {
        QTest::addColumn<int>("place");
        for (const int place : unreadablePlaces)
            QTest::addRow("place %d", place) << place;
    }
    void groupStopsAtTheFirstUnreadableMemberWhereverItIs()
    {
        QFETCH(int, place);
        MessageRecorder recorder;

        const auto det = openOn(groupWithUnreadableAt(place));
        verifyHiddenEntryBox(recorder.boxes);
        QCOMPARE(det->sstDet->currentIndex(), 2);
        QCOMPARE(entriesOf(det->lstGrpGroup), cnsOf(memberDns().mid(0, place)));
        QCOMPARE(det->lstGrpMember->count(), 0);

        // A refresh on the same connection stops at the same place again.
        QVERIFY(!det->ShowDetail(mdlMain::strObjectPath));
        QCOMPARE(recorder.boxes.size(), 2);
        QCOMPARE(entriesOf(det->lstGrpGroup), cnsOf(memberDns().mid(0, place)));
    }

    void userSkipsEveryUnreadableMembershipAndKeepsTheOrder()
    {
        QStringList expected;
        for (const QString& value : userMemberships()) {
            if (value != hidden && !value.startsWith(QStringLiteral("CN=存在しない")))
                expected.append(cnOf(value));
        }
        MessageRecorder recorder;

        const auto det = openOn(manyGroupsUser);
        QVERIFY(recorder.boxes.isEmpty());
        QCOMPARE(det->sstDet->currentIndex(), 3);
        QCOMPARE(entriesOf(det->lstUsrGroup), expected);
        QVERIFY(det->ShowDetail(mdlMain::strObjectPath));
        QVERIFY(recorder.boxes.isEmpty());
        QCOMPARE(entriesOf(det->lstUsrGroup), expected);
    }
};

QTEST_MAIN(ItFrmDetManyEntries)
#include "it_frmDetManyEntries.moc"
