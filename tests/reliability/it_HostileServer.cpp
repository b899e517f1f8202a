// The main window and the directory layer against a scripted server that breaks the protocol:
// endless paging cookies, a trickle of bytes, huge values and DNs, broken UTF-8, a notice of
// disconnection, a reset in the middle of a message, referrals to another address, ranges that
// never end. Each ends in one error box (or the right result), the pointer back, what was listed
// kept, and no hang.

#include "BrowserTests.h"
#include "DataTable.h"
#include "DetailsTestSupport.h"
#include "ErrorNumber.h"
#include "ScriptedLdapServer.h"
#include "directory/Connection.h"
#include "directory/LdapDirectory.h"
#include "directory/PagedSearch.h"
#include "directory/RangedValues.h"

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <atomic>
#include <chrono>
#include <thread>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace browsertests;
using ldapmessage::Attribute;
using Request = ScriptedLdapServer::Request;
using Session = ScriptedLdapServer::Session;

namespace {

const QByteArray domainDn = "DC=example,DC=test";
const QByteArray groupDn = "CN=group," + domainDn;
constexpr int32_t protocolError = static_cast<int32_t>(0x80072021);

QByteArray ouEntry(int id, const QByteArray& dn)
{
    return ldapmessage::searchEntry(
        id, dn, { Attribute("objectClass", { "top", "organizationalUnit" }), Attribute("ou", { "x" }) });
}

QByteArray childDn(int n)
{
    return "OU=child" + QByteArray::number(n) + ',' + domainDn;
}

QString pathOf(const QByteArray& dn)
{
    return QStringLiteral("LDAP://") + QString::fromUtf8(dn);
}

// A page of a listing: an OU entry for each DN, then the result with `cookie` (empty on the last).
QByteArray listingPage(int id, const QList<QByteArray>& dns, const QByteArray& cookie = {})
{
    QByteArray bytes;
    for (const QByteArray& dn : dns)
        bytes += ouEntry(id, dn);
    return bytes + ldapmessage::searchDone(id, 0, true, cookie);
}

// The plain answer to a base read: the object asked for, as an OU.
QByteArray baseEntry(const Request& request)
{
    return ouEntry(request.id, request.dn) + ldapmessage::searchDone(request.id);
}

// One DER element. The million-value entry is put together with these, not with lber: lber
// grows its buffer 4 KB at a time, and under AddressSanitizer every realloc copies, so 46 MB
// would take minutes.
QByteArray der(char tag, const QByteArray& content)
{
    QByteArray length;
    if (content.size() < 0x80) {
        length.append(char(content.size()));
    } else {
        for (qsizetype n = content.size(); n > 0; n >>= 8)
            length.prepend(char(n & 0xff));
        length.prepend(char(0x80 | length.size()));
    }
    return tag + length + content;
}

QByteArray derAttribute(const QByteArray& type, const QList<QByteArray>& values)
{
    QByteArray set;
    for (const QByteArray& value : values)
        set += der(0x04, value);
    return der(0x30, der(0x04, type) + der(0x31, set));
}

// A search result entry ([APPLICATION 4]) of `dn`; `id` is the message id's whole element.
QByteArray derEntry(const QByteArray& id, const QByteArray& dn, const QByteArray& attributes)
{
    return der(0x30, id + der(0x64, der(0x04, dn) + der(0x30, attributes)));
}

// An entry of 16,000,000 bytes and a few more (under the message bound); `id` under 65,536.
QByteArray bigEntry(int id, const QByteArray& dn)
{
    static const QByteArray filler(16000000, 'v');
    return derEntry(der(0x02, QByteArray(1, '\0') + char(id >> 8) + char(id)), dn,
        derAttribute("cn", { dn.mid(3, 2) }) + derAttribute("description", { filler }));
}

} // namespace

class ItHostileServer : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(temp.isValid());
        QVERIFY2(server.start(temp.filePath(QStringLiteral("ldapi")),
                     [this](const Request& request, Session& session) { answer(request, session); }),
            qPrintable(server.lastError()));
        QVERIFY(elsewhere.start());
        // libldap reads its configuration once: this server is the domain's from here on.
        const QString conf = temp.filePath(QStringLiteral("ldap.conf"));
        QVERIFY(testfiles::writeBytes(
            conf, "URI " + server.uri().toUtf8() + "\nBASE " + domainDn + "\nSASL_MECH EXTERNAL\n"));
        qputenv("LDAPCONF", QFile::encodeName(conf));
    }

    void init()
    {
        setScript(listing, nullptr);
        setScript(baseRead, nullptr);
        pagesAsked = 0;
        auto fresh = std::make_unique<directory::LdapDirectory>();
        ldap = fresh.get();
        directory::setCurrentDirectory(std::move(fresh));
        window = openMainWindow(QStringLiteral("example.test"), QStringLiteral("someone"), QStringLiteral("secret"));
    }

    void cleanup()
    {
        window.reset();
        directory::setCurrentDirectory(nullptr);
        QCOMPARE(elsewhere.connectionCount(), 0);
    }

    // Each bound ends in one box that says what came too much, and a DN that names a server (the
    // counting listener's) in an entry that cannot be read; what came before stays.
    void whatAServerSendsEndsInOneBoxAndKeepsWhatCameBefore_data()
    {
        addColumns<int, QString, int>({ "number", "says", "kept" });
        QTest::newRow("page") << protocolError << QStringLiteral("1 ページに要求した 5 件を超える項目") << 5;
        // 67 entries of 16 MB fit in 1 GiB: the page of the 68th is not listed.
        QTest::newRow("listing bytes") << protocolError << QStringLiteral("1 回の検索で合計 1024 MB を超える") << 65;
        QTest::newRow("bind") << protocolError << QStringLiteral("1 件の読み取りに 2 件以上の項目") << 5;
        QTest::newRow("member read") << protocolError << QStringLiteral("1 件の読み取りに 2 件以上の項目") << 2;
        QTest::newRow("held") << protocolError << QStringLiteral("順番を待つ応答で合計 64 MB を超える") << 2;
        QTest::newRow("member bytes") << protocolError << QStringLiteral("一連の読み取りで合計 1024 MB を超える") << 67;
        QTest::newRow("ranges") << int(directory::hresult::Fail) << QStringLiteral("連続していません") << 2;
        for (const char* where : { "member", "memberOf", "entry" })
            QTest::newRow(where) << int(directory::hresult::InvalidDnSyntax) << QString::fromUtf8(serverText())
                                 << (where[0] == 'e' ? 0 : 8);
    }

    void whatAServerSendsEndsInOneBoxAndKeepsWhatCameBefore()
    {
        const QString row = QString::fromUtf8(QTest::currentDataTag());
        QFETCH(int, number);
        QFETCH(QString, says);
        QFETCH(int, kept);
        ldap->setConnectionOptions({ .answerTimeoutSeconds = 5, .pageSize = 5 });
        setScript(listing, [this, row](const Request& request, Session& session) {
            const int page = ++pagesAsked;
            for (int k = 1; k <= (row == u"page" && page == 2 ? 6 : 5) && request.scope == 1; ++k) {
                const QByteArray dn = row == u"entry" && k == 1 ? serverText() : childDn(5 * page + k);
                session.send(row == u"listing bytes" ? bigEntry(request.id, dn) : ouEntry(request.id, dn));
            }
            const bool more = row == u"listing bytes" ? page < 20 : row == u"page" && page == 1;
            session.send(ldapmessage::searchDone(request.id, 0, true, more ? "more" + QByteArray::number(page) : ""));
        });
        setScript(baseRead, [this, row](const Request& request, Session& session) {
            const int k = request.dn.startsWith("CN=m") ? request.dn.mid(4, request.dn.indexOf(',') - 4).toInt() : 0;
            QList<QByteArray> values;
            for (int n = 1; n <= (row == u"member bytes" ? 70 : 8); ++n)
                values.append("CN=m" + QByteArray::number(n) + ',' + domainDn);
            const QByteArray type = row == u"ranges" ? "member;range=0-1" : row == u"memberOf" ? "memberOf" : "member";
            const QByteArray answer = request.dn == groupDn
                ? ldapmessage::searchEntry(request.id, groupDn,
                    { Attribute("objectClass", { "top", "group" }),
                        Attribute(type, row == u"ranges" ? values.mid(0, 2) : values << serverText()) })
                : k > (row == u"held" ? 3 : 0) && (row == u"member bytes" || row == u"held")
                ? bigEntry(request.id, request.dn)
                : ldapmessage::searchEntry(request.id, request.dn, { Attribute("cn", { request.dn.mid(3, 2) }) });
            const bool twice = (row == u"bind" && request.dn == childDn(6)) || (row == u"member read" && k == 3);
            if (!(row == u"held" && k == 3))
                session.send(answer + (twice ? answer : QByteArray()) + ldapmessage::searchDone(request.id));
        });
        MessageRecorder recorder;
        click(window->cmdConnect);
        if (row == u"bind")
            clickNode(window->tvNode, child(topNode(window->tvNode), 0));
        int listed = childCount(topNode(window->tvNode));
        if (row != u"page" && row != u"listing bytes" && row != u"bind") {
            const ObjectPathScope path(row == u"entry" ? listRows(window->lvList).constFirst().tag : pathOf(groupDn));
            const frmDet det;
            listed = det.lstGrpGroup->count() + det.lstGrpMember->count();
        }
        QCOMPARE(listed, kept);
        expectOneBox(recorder, number, says);
    }

    void aCookieThatNeverChangesEndsTheListing()
    {
        setScript(listing, [this](const Request& request, Session& session) {
            const int page = ++pagesAsked;
            // Gives up after 50 rounds, so that a client that loops fails instead of hanging.
            session.send(listingPage(request.id,
                { childDn(3 * page - 3), childDn(3 * page - 2), childDn(3 * page - 1) }, page < 50 ? "same" : ""));
        });
        MessageRecorder recorder;

        click(window->cmdConnect);

        QCOMPARE(pagesAsked.load(), 2);
        expectOneBox(recorder, protocolError, QStringLiteral("繰り返し"));
        // Both pages that came are listed.
        QCOMPARE(childCount(topNode(window->tvNode)), 6);
    }

    void cookiesWithoutEndStopAtThePageLimit()
    {
        setScript(listing, [this](const Request& request, Session& session) {
            const int page = ++pagesAsked;
            const bool more = page < directory::PagedSearch::maxPages + 20;
            session.send(listingPage(request.id, page == 1 ? QList { childDn(1), childDn(2) } : QList<QByteArray>(),
                more ? QByteArray::number(page) : ""));
        });
        MessageRecorder recorder;

        click(window->cmdConnect);

        QCOMPARE(pagesAsked.load(), directory::PagedSearch::maxPages);
        expectOneBox(recorder, protocolError);
        QCOMPARE(childCount(topNode(window->tvNode)), 2);
    }

    void aPagingControlThatCannotBeReadEndsTheListing_data()
    {
        addColumns<bool, QByteArray>({ "withValue", "value" });
        // Without a value libldap itself would abort the program, and read through a null buffer
        // on an empty one (both found by the fuzzer).
        QTest::newRow("no value") << false << QByteArray();
        QTest::newRow("an empty value") << true << QByteArray();
        QTest::newRow("a value that is no BER") << true << QByteArray("\x01\x02", 2);
    }

    void aPagingControlThatCannotBeReadEndsTheListing()
    {
        QFETCH(bool, withValue);
        QFETCH(QByteArray, value);
        setScript(listing, [withValue, value](const Request& request, Session& session) {
            session.send(ouEntry(request.id, childDn(1))
                + ldapmessage::searchDoneWithControl(
                    request.id, LDAP_CONTROL_PAGEDRESULTS, withValue ? &value : nullptr));
        });
        MessageRecorder recorder;

        click(window->cmdConnect);

        expectOneBox(recorder, protocolError);
        QCOMPARE(childCount(topNode(window->tvNode)), 1);
    }

    void aTrickledPageGivesUpAfterOneAnswerTime()
    {
        setScript(listing, [this](const Request& request, Session& session) {
            if (++pagesAsked == 1) {
                session.send(listingPage(request.id, { childDn(1), childDn(2) }, "next"));
                return;
            }
            // Each entry within the answer time (about 1 s), the page in 12 s.
            QList<QByteArray> dns;
            for (int k = 3; k < 15; ++k)
                dns.append(childDn(k));
            session.trickle(listingPage(request.id, dns), 15);
        });
        connectGivesUpWithinSixSeconds(QStringLiteral("応答がありません"));
        QCOMPARE(childCount(topNode(window->tvNode)), 2);
    }

    void aTrickledEntryGivesUpAfterOneAnswerTime()
    {
        setScript(baseRead, [](const Request& request, Session& session) {
            // One message of about 300 bytes, 40 ms a byte: 12 s.
            const QByteArray entry = ldapmessage::searchEntry(request.id, request.dn,
                { Attribute("objectClass", { "top", "domainDNS" }),
                    Attribute("description", { QByteArray(200, 'd') }) });
            session.trickle(entry + ldapmessage::searchDone(request.id), 40);
        });
        connectGivesUpWithinSixSeconds();
        QCOMPARE(childCount(topNode(window->tvNode)), 0);
    }

    void aNoticeOfDisconnectionIsOneBoxAndTheNextClickReconnects()
    {
        std::atomic<bool> noticeSent { false };
        setScript(listing, [&noticeSent](const Request& request, Session& session) {
            if (request.dn == domainDn) {
                session.send(listingPage(request.id, { childDn(1) }));
            } else if (!noticeSent.exchange(true)) {
                // The socket stays open a while after the notice: the client must not take it
                // for a live connection in the meantime.
                session.send(ldapmessage::noticeOfDisconnection());
                std::this_thread::sleep_for(std::chrono::milliseconds(300));
                session.close();
            } else {
                session.send(listingPage(request.id, { "OU=grandchild," + request.dn }));
            }
        });
        MessageRecorder recorder;
        click(window->cmdConnect);
        const QPersistentModelIndex child = childWithKey(topNode(window->tvNode), pathOf(childDn(1)));
        QVERIFY(child.isValid());

        clickNode(window->tvNode, child);

        // libldap gives the notice's own result code: unavailable.
        expectOneBox(recorder, static_cast<int32_t>(0x8007200F));
        QCOMPARE(childCount(child), 0);
        const int connectionsBefore = server.connectionCount();

        clickNode(window->tvNode, child);

        QVERIFY2(recorder.boxes.size() == 1, qPrintable(recorder.boxes.constLast().text));
        QCOMPARE(childCount(child), 1);
        // The dropped connection is not used again: the click opened a new one.
        QCOMPARE(server.connectionCount() - connectionsBefore, 1);
    }

    void aPeerGoneBeforeTheNextRequestIsAnErrorNotADeadProcess()
    {
        // An object opened with a password reads on its own connection, with no look at the socket
        // first: the listing's request is written to a socket whose peer has gone (SIGPIPE).
        std::atomic<bool> closed { false };
        setScript(baseRead, [&closed](const Request& request, Session& session) {
            session.send(baseEntry(request));
            session.close();
            closed = true;
        });
        directory::LdapDirectory directory;
        const directory::DirObject domain
            = directory.openDSObject(pathOf(domainDn), QStringLiteral("someone"), QStringLiteral("secret"));
        QTRY_VERIFY(closed);
        QCOMPARE(errorNumberOf<directory::DirectoryError>([&] { directory.enumerate(domain, {}, [](const auto&) {}); }),
            directory::hresult::ServerDown);
    }

    void aResetInTheMiddleOfAMessageKeepsThePagesListed()
    {
        ScriptedLdapServer tcp;
        std::atomic<int> pages { 0 };
        QVERIFY(tcp.startTcp([&pages](const Request& request, Session& session) {
            if (request.operation != 0x63)
                return;
            if (request.scope == 0) {
                session.send(baseEntry(request));
            } else if (++pages == 1) {
                session.send(listingPage(request.id, { childDn(1), childDn(2) }, "next"));
            } else {
                const QByteArray entry = ouEntry(request.id, childDn(3));
                session.send(entry.left(entry.size() / 2));
                session.reset();
            }
        }));
        directory::LdapDirectory directory({}, [](const QString& uri, const directory::ConnectionOptions& options) {
            return directory::Connection::openOnSocket(
                connectedTo(uri), uri, QStringLiteral("cn=reader"), QStringLiteral("pw"), options);
        });
        const QString path = tcp.uri().replace(QStringLiteral("ldap://"), QStringLiteral("LDAP://")) + u'/'
            + QString::fromUtf8(domainDn);
        const directory::DirObject root = directory.bind(path);
        QStringList listed;
        try {
            directory.enumerate(root, {}, [&](const directory::Directory::Batch& batch) {
                for (const directory::DirObject& object : batch)
                    listed.append(object.dn());
            });
            QFAIL("the listing did not fail");
        } catch (const directory::DirectoryError& error) {
            QCOMPARE(error.number(), directory::hresult::ServerDown);
        }
        QCOMPARE(listed, QStringList({ QString::fromUtf8(childDn(1)), QString::fromUtf8(childDn(2)) }));
        QCOMPARE(directory.openConnectionCount(), 0);
        // The next operation opens a new connection.
        QCOMPARE(directory.bind(path).dn(), QString::fromUtf8(domainDn));
        QCOMPARE(tcp.connectionCount(), 2);
    }

    void referralsAndReferencesAreNeverFollowed()
    {
        const QByteArray elsewhereUri = "ldap://127.0.0.1:" + QByteArray::number(elsewhere.port());
        setScript(listing, [elsewhereUri](const Request& request, Session& session) {
            session.send(ouEntry(request.id, childDn(1))
                + ldapmessage::searchReference(request.id, { elsewhereUri + "/DC=other,DC=test??one" })
                + listingPage(request.id, { childDn(2) }));
        });
        setScript(baseRead, [elsewhereUri](const Request& request, Session& session) {
            session.send(request.dn == domainDn ? baseEntry(request)
                                                : ldapmessage::searchDone(request.id, LDAP_REFERRAL, false, {},
                                                    { elsewhereUri + "/" + request.dn }));
        });
        MessageRecorder recorder;

        click(window->cmdConnect);

        QCOMPARE(recorder.boxes.size(), 0);
        const QPersistentModelIndex root = topNode(window->tvNode);
        QCOMPARE(childKeys(root), QStringList({ pathOf(childDn(1)), pathOf(childDn(2)) }));

        clickNode(window->tvNode, child(root, 0));

        expectOneBox(recorder, static_cast<int32_t>(0x8007202B));
        QCOMPARE(childCount(root), 2);
        QCOMPARE(elsewhere.connectionCount(), 0);
    }

    void brokenUtf8AndNulBytesAreReplacedNotCut()
    {
        const QByteArray broken = "OU=bad\xff\xfename," + domainDn;
        const QByteArray withNul = QByteArray("OU=nul\0tail,", 12) + domainDn;
        setScript(listing, [broken, withNul](const Request& request, Session& session) {
            session.send(listingPage(request.id, { broken, withNul, childDn(1) }));
        });
        MessageRecorder recorder;
        click(window->cmdConnect);

        const QPersistentModelIndex root = topNode(window->tvNode);
        const QString replacement(QChar::ReplacementCharacter);
        QCOMPARE(childTexts(root),
            QStringList({ QStringLiteral("OU=bad") + replacement + replacement + QStringLiteral("name"),
                QStringLiteral("OU=nul") + replacement + QStringLiteral("tail"), QStringLiteral("OU=child1") }));

        // The export lists the selected node again.
        clickNode(window->tvNode, root);
        SaveDialogAnswers dialog;
        const QString file = temp.filePath(QStringLiteral("broken.csv"));
        dialog.answers = { file };
        {
            const PopupAnswer popup(QStringLiteral("mnuListOutPut"));
            clickNode(window->tvNode, root, Qt::RightButton);
            QVERIFY(popup.shown());
        }
        QCOMPARE(recorder.boxes.size(), 1);
        QCOMPARE(recorder.boxes.constFirst().text, QStringLiteral("保存しました。"));
        const QByteArray bytes = readBytes(file);
        QVERIFY2(bytes.contains("\tOU=bad??name\tLDAP://OU=bad??name,DC=example,DC=test\t\r\n"), bytes.constData());
        QVERIFY2(bytes.contains("\tOU=nul?tail\tLDAP://OU=nul?tail,DC=example,DC=test\t\r\n"), bytes.constData());
        QVERIFY(!bytes.contains('\0'));
        QVERIFY(bytes.contains("\tOU=child1\t"));
    }

    void aDnOfAHundredThousandCharactersIsListedWhole()
    {
        const QByteArray longDn = "OU=" + QByteArray(100000, 'x') + ',' + domainDn;
        setScript(listing, [longDn](const Request& request, Session& session) {
            session.send(listingPage(request.id, { longDn, childDn(1) }));
        });
        MessageRecorder recorder;

        click(window->cmdConnect);

        QCOMPARE(recorder.boxes.size(), 0);
        QCOMPARE(childKeys(topNode(window->tvNode)), QStringList({ pathOf(longDn), pathOf(childDn(1)) }));
        QCOMPARE(listRows(window->lvList).constFirst().name.size(), 100003);
    }

    void aValueOverTheMessageLimitIsRefusedBeforeItIsRead()
    {
        expectRefused("CN=huge," + domainDn,
            derAttribute("objectClass", { "top", "user" })
                + derAttribute("description", { QByteArray(50 * 1000 * 1000, 'v') }));
    }

    void aMillionMemberOfValuesAreRefusedBeforeTheyAreRead()
    {
        QList<QByteArray> groups;
        groups.reserve(1000000);
        for (int k = 0; k < 1000000; ++k)
            groups.append("CN=Group" + QByteArray::number(k).rightJustified(7, '0') + ",OU=Groups," + domainDn);
        const QByteArray attributes = derAttribute("objectClass", { "top", "user" }) + derAttribute("memberOf", groups);
        groups.clear();
        expectRefused("CN=joiner," + domainDn, attributes);
    }

    void rangesThatGoBackNeverEndOrCarryNothingFail_data()
    {
        oneColumn<QString>("kind",
            { { "back to the start", QStringLiteral("back") }, { "an empty range", QStringLiteral("empty") },
                { "one value a range for ever", QStringLiteral("endless") } });
    }

    void rangesThatGoBackNeverEndOrCarryNothingFail()
    {
        QFETCH(QString, kind);
        std::atomic<int> asked { 0 };
        setScript(baseRead, [&asked, kind](const Request& request, Session& session) {
            if (request.dn == domainDn) {
                session.send(baseEntry(request));
                return;
            }
            // The bind's read: the first range, as Active Directory cuts a big group.
            QByteArray range = "member;range=0-1";
            QList<QByteArray> values { "CN=a," + domainDn, "CN=b," + domainDn };
            if (request.mentions("member;range=")) {
                const int n = ++asked;
                const QByteArray low = QByteArray::number(n + 1);
                // A client that keeps asking gets a last range after 30,000 rounds, and no error.
                if (n > directory::RangedValues::maxRanges + 10000) {
                    range = "member;range=" + low + "-*";
                } else if (kind != u"back") {
                    range = "member;range=" + low + '-' + low;
                    values = { "CN=c" + low + ',' + domainDn };
                    if (kind == u"empty")
                        values.clear();
                }
            }
            session.send(ldapmessage::searchEntry(request.id, request.dn,
                             { Attribute("objectClass", { "top", "group" }), Attribute(range, values) })
                + ldapmessage::searchDone(request.id));
        });
        const directory::DirObject group = ldap->bind(pathOf(groupDn));
        try {
            ldap->members(group);
            QFAIL(qPrintable(QStringLiteral("no error after %1 requests").arg(asked.load())));
        } catch (const directory::DirectoryError& error) {
            QCOMPARE(error.number(), directory::hresult::Fail);
            qInfo("%s after %d requests", qPrintable(error.description()), asked.load());
        }
        QVERIFY(asked <= directory::RangedValues::maxRanges + 1);
    }

private:
    using Script = std::function<void(const Request&, Session&)>;

    QByteArray serverText() const { return "127.0.0.1:" + QByteArray::number(elsewhere.port()) + "/DC=x"; }

    static int connectedTo(const QString& uri)
    {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const sockaddr_in address { .sin_family = AF_INET,
            .sin_port = htons(quint16(uri.section(u':', -1).toInt())),
            .sin_addr = { htonl(INADDR_LOOPBACK) },
            .sin_zero = {} };
        if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0) {
            ::close(fd);
            throw directory::DirectoryError(directory::hresult::ServerDown, QStringLiteral("no test server"));
        }
        return fd;
    }

    // Base reads of `dn` get one entry of `attributes`, too big for a message: the domain reads, the
    // entry is refused before it is read, and the domain reads again.
    void expectRefused(const QByteArray& dn, const QByteArray& attributes)
    {
        // The message id 0x7fffffff in four bytes, for each request's id to take its place.
        const QByteArray idField("\x02\x04\x7f\xff\xff\xff", 6);
        const QByteArray entry = derEntry(idField, dn, attributes);
        QVERIFY(entry.size() > directory::Connection::maxMessageBytes);
        qInfo("the entry is %lld bytes", qint64(entry.size()));
        setScript(baseRead, [entry, idField](const Request& request, Session& session) {
            if (request.dn == domainDn) {
                session.send(baseEntry(request));
                return;
            }
            QByteArray answer = entry;
            answer.replace(answer.indexOf(idField) + 2, 4, QByteArray("\0\0\0", 3) + char(request.id));
            session.send(answer + ldapmessage::searchDone(request.id));
        });
        QCOMPARE(ldap->bind(pathOf(domainDn)).dn(), QString::fromUtf8(domainDn));
        try {
            ldap->bind(pathOf(dn));
            QFAIL("the entry was taken");
        } catch (const directory::DirectoryError& error) {
            QCOMPARE(error.number(), protocolError);
            QVERIFY2(error.description().contains(QStringLiteral("大きすぎます")), qPrintable(error.description()));
        }
        // The connection is gone; the next read opens another and works.
        QCOMPARE(ldap->openConnectionCount(), 0);
        QCOMPARE(ldap->bind(pathOf(domainDn)).dn(), QString::fromUtf8(domainDn));
    }

    // One box of the error `number`, whose text holds `says`.
    static void expectOneBox(const MessageRecorder& recorder, int32_t number, const QString& says = {})
    {
        QCOMPARE(recorder.boxes.size(), 1);
        const Box& box = recorder.boxes.constFirst();
        QVERIFY2(box.text.startsWith(QString::number(number) + QStringLiteral("\r\n")), qPrintable(box.text));
        QVERIFY2(box.text.contains(says), qPrintable(box.text));
        QCOMPARE(box.icon, platform::MessageIcon::Critical);
        QCOMPARE(box.cursor, Qt::WaitCursor);
        QCOMPARE(currentCursor(), Qt::ArrowCursor);
    }

    // Connect, with waits of 2 s, to a server too slow to answer: one box, within 6 s.
    void connectGivesUpWithinSixSeconds(const QString& says = {})
    {
        MessageRecorder recorder;
        ldap->setConnectionOptions({ .networkTimeoutSeconds = 2, .answerTimeoutSeconds = 2 });
        QElapsedTimer timer;
        timer.start();

        click(window->cmdConnect);

        qInfo("gave up after %lld ms", timer.elapsed());
        QVERIFY2(timer.elapsed() < 6000, qPrintable(QString::number(timer.elapsed())));
        expectOneBox(recorder, directory::hresult::ServerDown, says);
    }

    // `listing` or `baseRead`, which the server's thread reads.
    void setScript(Script& slot, Script script)
    {
        std::lock_guard lock(scriptMutex);
        slot = std::move(script);
    }

    // On the server's thread.
    void answer(const Request& request, Session& session)
    {
        if (request.operation != 0x63)
            return;
        const Script script = [&] {
            std::lock_guard lock(scriptMutex);
            return request.scope == 0 ? baseRead : listing;
        }();
        if (script)
            script(request, session);
        else
            session.send(request.scope == 0 ? baseEntry(request) : listingPage(request.id, {}));
    }

    QTemporaryDir temp;
    ScriptedLdapServer server;
    CountingListener elsewhere;
    std::mutex scriptMutex;
    Script listing;
    Script baseRead;
    std::atomic<int> pagesAsked { 0 };
    std::unique_ptr<frmMain> window;
    directory::LdapDirectory* ldap = nullptr;
};

QTEST_MAIN(ItHostileServer)
#include "it_HostileServer.moc"
