// The server-answers fuzz target's session against a real slapd, through a relay that keeps what
// the server answers: a replay of those answers through the target gives exactly what the live
// run gave, so the target drives the directory layer's real code and its seeds are real answers.
// The session asks for pages of 3, so a listing takes several pages and cookies.
//
// MIVORA_WRITE_SEEDS=DIR writes the recorded inputs there (fuzz/corpus/server_answers/).

#define MIVORA_FUZZ_REPLAY

#include "DataTable.h"
#include "fuzz_server_answers.cpp"

#include "LdapRelay.h"
#include "ScratchDirectoryServer.h"
#include "ScriptedLdapServer.h"
#include "TestDirectory.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTest>
#include <cstring>
#include <sys/un.h>

namespace {

using directory::Connection;
using directory::DirectoryError;
using fuzz_server_answers::password;
using fuzz_server_answers::user;

int connectedTo(const QString& path)
{
    sockaddr_un address { .sun_family = AF_UNIX, .sun_path = {} };
    const QByteArray name = QFile::encodeName(path);
    std::memcpy(address.sun_path, name.constData(), size_t(std::min<qsizetype>(name.size(), 100)));
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0 || ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0) {
        if (fd >= 0)
            ::close(fd);
        throw DirectoryError(directory::hresult::ServerDown, QStringLiteral("relay not reached"));
    }
    return fd;
}

fuzz_server_answers::Outcome replayOf(const QByteArray& input)
{
    return fuzz_server_answers::replay(reinterpret_cast<const std::uint8_t*>(input.constData()), size_t(input.size()));
}

} // namespace

class ItServerAnswerSeeds : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY2(server.start(), qPrintable(server.lastError())); }

    void recordedAnswersReplayAsTheyWereLive_data()
    {
        addColumns<int, QString>({ "flags", "seed" });
        QTest::newRow("sales group") << 0 << QStringLiteral("slapd-sales");
        QTest::newRow("group with a hidden member")
            << int(fuzz_server_answers::SecondGroup) << QStringLiteral("slapd-hidden-member");
        QTest::newRow("explicit member ranges")
            << int(fuzz_server_answers::RangedMembers) << QStringLiteral("slapd-ranged-request");
    }

    void recordedAnswersReplayAsTheyWereLive()
    {
        QFETCH(int, flags);
        QFETCH(QString, seed);
        runRecorded(server.directory() + QStringLiteral("/run/ldapi"), flags, seed);
        if (QTest::currentTestFailed())
            return;

        QVERIFY2(live.errors.isEmpty(), qPrintable(live.errors.join(u'\n')));
        QCOMPARE(live.listed.size(), TestDirectory::rootListing.size());
        if (flags & fuzz_server_answers::RangedMembers) {
            // slapd knows no ranges: the group reads as having no member.
            QVERIFY(live.members.isEmpty());
        } else {
            QVERIFY(live.members.size() >= 2);
            QCOMPARE(live.names.size(), live.members.size());
        }
        QCOMPARE(answers.size(), 1);
    }

    // slapd knows no ranges and sends no references: a scripted server answers as Active
    // Directory does (a search reference in the listing, the group's members in two ranges),
    // recorded through the relay like slapd. The hostile rows answer out of all proportion to
    // what was asked (pages of 3, ranges of 3): what the directory layer makes of that is as live.
    void scriptedActiveDirectoryAnswersReplayAsTheyWereLive_data()
    {
        // Members over 5 are 250 bytes each.
        addColumns<int, int, int>({ "morePageEntries", "baseReadEntries", "memberCount" });
        QTest::newRow("scripted-ad-ranges") << 0 << 1 << 5;
        QTest::newRow("hostile-page-over-its-size") << 40 << 1 << 5;
        QTest::newRow("hostile-base-read-of-two") << 0 << 2 << 5;
        QTest::newRow("hostile-large-ranged-values") << 0 << 1 << 30;
        QTest::newRow("hostile-many-small-entries") << 300 << 1 << 5;
    }
    void scriptedActiveDirectoryAnswersReplayAsTheyWereLive()
    {
        using ldapmessage::Attribute;
        QFETCH(int, morePageEntries);
        QFETCH(int, baseReadEntries);
        QFETCH(int, memberCount);
        const QByteArray base = "DC=example,DC=test";
        QList<QByteArray> members;
        for (int k = 1; k <= memberCount; ++k)
            members.append(("CN=Member " + QByteArray::number(k) + ",OU=Staff," + base)
                               .leftJustified(memberCount > 5 ? 250 : 0, 'x'));
        const auto script = [&](const ScriptedLdapServer::Request& request, ScriptedLdapServer::Session& session) {
            if (request.operation != 0x63)
                return;
            const int id = request.id;
            const auto entry = [id](const QByteArray& dn, const QList<QByteArray>& classes) {
                return ldapmessage::searchEntry(id, dn, { Attribute("objectClass", classes) });
            };
            QByteArray answer;
            QByteArray done = ldapmessage::searchDone(id);
            if (request.scope == 1) {
                answer = entry("OU=Staff," + base, { "top", "organizationalUnit" })
                    + ldapmessage::searchReference(
                        id, { "ldap://ForestDnsZones.example.test/DC=ForestDnsZones,DC=example,DC=test" })
                    + entry("CN=Users," + base, { "top", "container" });
                for (int k = 0; k < morePageEntries; ++k)
                    answer += entry("OU=" + QByteArray::number(k), { "top", "organizationalUnit" });
                done = ldapmessage::searchDone(id, 0, true, "");
            } else if (request.scope == 2) {
                for (const QByteArray& member : members.mid(request.pageCookie().isEmpty() ? 0 : 3, 3))
                    answer += ldapmessage::searchEntry(id, member, { Attribute("cn", { member.mid(3, 8) }) });
                done = ldapmessage::searchDone(id, 0, true, request.pageCookie().isEmpty() ? "next" : "");
            } else if (request.mentions("member;range=0-")) {
                answer = ldapmessage::searchEntry(id, request.dn, { Attribute("member;range=0-2", members.mid(0, 3)) });
            } else if (request.mentions("member;range=3-")) {
                answer = ldapmessage::searchEntry(id, request.dn, { Attribute("member;range=3-*", members.mid(3)) });
            } else {
                for (int k = 0; k < baseReadEntries; ++k)
                    answer += entry(request.dn, { "top", "group" });
            }
            session.send(answer + done);
        };
        ScriptedLdapServer ad;
        QVERIFY2(ad.start(server.directory() + QStringLiteral("/scripted-ad"), script), qPrintable(ad.lastError()));
        runRecorded(server.directory() + QStringLiteral("/scripted-ad"), fuzz_server_answers::RangedMembers,
            QString::fromLatin1(QTest::currentDataTag()));
        if (QTest::currentTestFailed() || QByteArrayView(QTest::currentDataTag()) != "scripted-ad-ranges")
            return; // the hostile rows: as live, whatever that is
        QVERIFY2(live.errors.isEmpty(), qPrintable(live.errors.join(u'\n')));
        QCOMPARE(live.listed.size(), 2);
        QCOMPARE(live.members.size(), 5);
        QCOMPARE(live.names.constLast(), QStringLiteral("Member 5"));
    }

    void aReplayCutAnywhereEndsInAnErrorNotAHang()
    {
        // The first seed cut after every 97th byte: each run ends, and shows that something
        // is missing (an error, or a read that failed) instead of a result that looks whole.
        QFile file(QStringLiteral(MIVORA_SOURCE_DIR "/fuzz/corpus/server_answers/slapd-sales"));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray input = file.readAll();
        const fuzz_server_answers::Outcome whole = replayOf(input);
        QVERIFY(whole.errors.isEmpty());
        const QByteArray stream = input.mid(5);
        for (qsizetype cut = 1; cut < stream.size(); cut += 97) {
            const fuzz_server_answers::Outcome outcome = replayOf(fuzz_server_answers::encode(0, { stream.left(cut) }));
            const bool failedRead = std::any_of(outcome.names.cbegin(), outcome.names.cend(),
                [](const QString& name) { return name.startsWith(u'-'); });
            QVERIFY2(!outcome.errors.isEmpty() || failedRead, qPrintable(QString::number(cut)));
        }
    }

private:
    // The fuzz target's session through a relay in front of `upstream`: `live`, and the relay's `answers`,
    // which replay through the target as they came live; MIVORA_WRITE_SEEDS gets them as the seed `seed`.
    void runRecorded(const QString& upstream, int flags, const QString& seed)
    {
        const QString relayPath = QFileInfo(upstream).path() + QStringLiteral("/relay");
        LdapRelay relay;
        QVERIFY2(relay.start(relayPath, upstream), qPrintable(relay.lastError()));
        live = fuzz_server_answers::runSession(
            [&](const QString& uri, const directory::ConnectionOptions& options) {
                return Connection::openOnSocket(connectedTo(relayPath), uri, user, password, options);
            },
            flags);
        answers = relay.answers();
        const QByteArray input = fuzz_server_answers::encode(flags, answers);
        qInfo("%s: %lld bytes, %lld listed, %lld members", qPrintable(seed), qint64(input.size()),
            qint64(live.listed.size()), qint64(live.members.size()));

        const fuzz_server_answers::Outcome replayed = replayOf(input);
        QCOMPARE(replayed.errors, live.errors);
        QCOMPARE(replayed.listed, live.listed);
        QCOMPARE(replayed.members, live.members);
        QCOMPARE(replayed.names, live.names);
        try {
            fuzz_server_answers::check(replayed);
        } catch (const fuzzing::CheckFailure& failure) {
            QFAIL(failure.what());
        }
        const QByteArray target = qgetenv("MIVORA_WRITE_SEEDS");
        if (!target.isEmpty()) {
            QFile file(QDir(QString::fromLocal8Bit(target)).filePath(seed));
            QVERIFY(file.open(QIODevice::WriteOnly));
            QCOMPARE(file.write(input), input.size());
        }
    }

    ScratchDirectoryServer server;
    fuzz_server_answers::Outcome live;
    QList<QByteArray> answers;
};

QTEST_GUILESS_MAIN(ItServerAnswerSeeds)
#include "it_ServerAnswerSeeds.moc"
