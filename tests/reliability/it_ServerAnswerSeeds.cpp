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
#include <QTest>
#include <QUrl>
#include <cstring>
#include <sys/un.h>

namespace {

using directory::Connection;
using directory::DirectoryError;
using fuzz_server_answers::password;
using fuzz_server_answers::user;

int connectedTo(const QString& path)
{
    sockaddr_un address {};
    const QByteArray name = QFile::encodeName(path);
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, name.constData(), size_t(std::min<qsizetype>(name.size(), 100)));
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0 || ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0) {
        if (fd >= 0)
            ::close(fd);
        throw DirectoryError(directory::hresult::ServerDown, QStringLiteral("relay not reached"));
    }
    return fd;
}

// The fuzzer's input, replayed through its own code, gives what the program got from the live
// server, and passes the fuzzer's checks.
void verifyReplayGivesWhatCameLive(const QByteArray& input, const fuzz_server_answers::Outcome& live)
{
    const fuzz_server_answers::Outcome replayed
        = fuzz_server_answers::replay(reinterpret_cast<const std::uint8_t*>(input.constData()), size_t(input.size()));
    QCOMPARE(replayed.errors, live.errors);
    QCOMPARE(replayed.listed, live.listed);
    QCOMPARE(replayed.members, live.members);
    QCOMPARE(replayed.names, live.names);
    try {
        fuzz_server_answers::check(replayed);
    } catch (const fuzzing::CheckFailure& failure) {
        QFAIL(failure.what());
    }
}

} // namespace

class ItServerAnswerSeeds : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY2(server.start(), qPrintable(server.lastError())); }

    void recordedAnswersReplayAsTheyWereLive_data()
    {
        QTest::addColumn<int>("flags");
        QTest::addColumn<QString>("seed");
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
        const QString upstream
            = QUrl::fromPercentEncoding(server.ldapiUri().mid(int(std::strlen("ldapi://"))).toLatin1());
        const QString relayPath = server.directory() + QStringLiteral("/relay-") + QString::number(flags);
        LdapRelay relay;
        QVERIFY2(relay.start(relayPath, upstream), qPrintable(relay.lastError()));

        const fuzz_server_answers::Outcome live = fuzz_server_answers::runSession(
            [&](const QString& uri, const directory::ConnectionOptions& options) {
                return Connection::openOnSocket(connectedTo(relayPath), uri, user, password, options);
            },
            flags);

        QVERIFY2(live.errors.isEmpty(), qPrintable(live.errors.join(u'\n')));
        QCOMPARE(live.listed.size(), TestDirectory::rootListing.size());
        if (flags & fuzz_server_answers::RangedMembers) {
            // slapd knows no ranges: the group reads as having no member.
            QVERIFY(live.members.isEmpty());
        } else {
            QVERIFY(live.members.size() >= 2);
            QCOMPARE(live.names.size(), live.members.size());
        }
        const QList<QByteArray> answers = relay.answers();
        QCOMPARE(answers.size(), 1);
        const QByteArray input = fuzz_server_answers::encode(flags, answers);
        qInfo("%s: %lld bytes, %lld listed, %lld members", qPrintable(seed), qint64(input.size()),
            qint64(live.listed.size()), qint64(live.members.size()));

        verifyReplayGivesWhatCameLive(input, live);

        const QByteArray target = qgetenv("MIVORA_WRITE_SEEDS");
        if (!target.isEmpty()) {
            QFile file(QDir(QString::fromLocal8Bit(target)).filePath(seed));
            QVERIFY(file.open(QIODevice::WriteOnly));
            QCOMPARE(file.write(input), input.size());
        }
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
        ScriptedLdapServer ad;
        QVERIFY2(ad.start(server.directory() + QStringLiteral("/scripted-ad"),
                     [&](const ScriptedLdapServer::Request& request, ScriptedLdapServer::Session& session) {
                         if (request.operation != 0x63)
                             return;
                         const int id = request.id;
                         if (request.scope == 1) {
                             session.send(ldapmessage::searchEntry(id, "OU=Staff," + base,
                                 { Attribute("objectClass", { "top", "organizationalUnit" }) }));
                             session.send(ldapmessage::searchReference(
                                 id, { "ldap://ForestDnsZones.example.test/DC=ForestDnsZones,DC=example,DC=test" }));
                             session.send(ldapmessage::searchEntry(
                                 id, "CN=Users," + base, { Attribute("objectClass", { "top", "container" }) }));
                             for (int k = 0; k < morePageEntries; ++k)
                                 session.send(ldapmessage::searchEntry(id, "OU=" + QByteArray::number(k),
                                     { Attribute("objectClass", { "top", "organizationalUnit" }) }));
                             session.send(ldapmessage::searchDone(id, 0, true, ""));
                         } else if (request.scope == 2) {
                             for (const QByteArray& member : members.mid(request.pageCookie().isEmpty() ? 0 : 3, 3))
                                 session.send(
                                     ldapmessage::searchEntry(id, member, { Attribute("cn", { member.mid(3, 8) }) }));
                             session.send(
                                 ldapmessage::searchDone(id, 0, true, request.pageCookie().isEmpty() ? "next" : ""));
                         } else if (request.mentions("member;range=0-")) {
                             session.send(ldapmessage::searchEntry(
                                 id, request.dn, { Attribute("member;range=0-2", members.mid(0, 3)) }));
                             session.send(ldapmessage::searchDone(id));
                         } else if (request.mentions("member;range=3-")) {
                             session.send(ldapmessage::searchEntry(
                                 id, request.dn, { Attribute("member;range=3-*", members.mid(3)) }));
                             session.send(ldapmessage::searchDone(id));
                         } else {
                             for (int k = 0; k < baseReadEntries; ++k)
                                 session.send(ldapmessage::searchEntry(
                                     id, request.dn, { Attribute("objectClass", { "top", "group" }) }));
                             session.send(ldapmessage::searchDone(id));
                         }
                     }),
            qPrintable(ad.lastError()));
        const QString relayPath = server.directory() + QStringLiteral("/relay-ad");
        LdapRelay relay;
        QVERIFY2(
            relay.start(relayPath, server.directory() + QStringLiteral("/scripted-ad")), qPrintable(relay.lastError()));
        const int flags = fuzz_server_answers::RangedMembers;

        const fuzz_server_answers::Outcome live = fuzz_server_answers::runSession(
            [&](const QString& uri, const directory::ConnectionOptions& options) {
                return Connection::openOnSocket(connectedTo(relayPath), uri, user, password, options);
            },
            flags);

        const QByteArray input = fuzz_server_answers::encode(flags, relay.answers());
        verifyReplayGivesWhatCameLive(input, live);
        const QByteArray target = qgetenv("MIVORA_WRITE_SEEDS");
        if (!target.isEmpty()) {
            QFile file(QDir(QString::fromLocal8Bit(target)).filePath(QString::fromLatin1(QTest::currentDataTag())));
            QVERIFY(file.open(QIODevice::WriteOnly));
            QCOMPARE(file.write(input), input.size());
        }
        if (QByteArrayView(QTest::currentDataTag()) != "scripted-ad-ranges")
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
        const auto run = [](const QByteArray& bytes) {
            return fuzz_server_answers::replay(
                reinterpret_cast<const std::uint8_t*>(bytes.constData()), size_t(bytes.size()));
        };
        const fuzz_server_answers::Outcome whole = run(input);
        QVERIFY(whole.errors.isEmpty());
        const QByteArray stream = input.mid(5);
        for (qsizetype cut = 1; cut < stream.size(); cut += 97) {
            const fuzz_server_answers::Outcome outcome = run(fuzz_server_answers::encode(0, { stream.left(cut) }));
            const bool failedRead = std::any_of(outcome.names.cbegin(), outcome.names.cend(),
                [](const QString& name) { return name.startsWith(u'-'); });
            QVERIFY2(!outcome.errors.isEmpty() || failedRead, qPrintable(QString::number(cut)));
        }
    }

private:
    ScratchDirectoryServer server;
};

QTEST_GUILESS_MAIN(ItServerAnswerSeeds)
#include "it_ServerAnswerSeeds.moc"
