// The main window while a private directory server dies, stops answering, refuses the
// connection or rejects a listing by its limits: one error box each, what was listed stays,
// the pointer comes back, and the next click after the server is back works.

#include "BrowserTests.h"
#include "ForwardingDirectory.h"
#include "ScratchDirectoryServer.h"
#include "TestDirectory.h"
#include "directory/LdapDirectory.h"

#include <QFileInfo>

using namespace browsertests;

namespace {

// The rows of the first `count` children of ou=大量, as the window lists them.
QList<Row> bulkRows(int count)
{
    QList<Row> rows;
    for (int k = 1; k <= count; ++k) {
        const QString dn = TestDirectory::bulkChildDn(k);
        rows.append({ QString::number(k), TestDirectory::bulkChildClass(k), TestDirectory::firstRdn(dn),
            TestDirectory::adsPath(dn) });
    }
    return rows;
}

// Exactly one box, which starts with the error number and holds `says`; the arrow back once it is gone.
void verifyOneBoxOf(const MessageRecorder& recorder, int32_t number, const QString& says = {})
{
    QCOMPARE(recorder.boxes.size(), 1);
    const QString& text = recorder.boxes.constFirst().text;
    QVERIFY2(text.startsWith(QString::number(number) + QStringLiteral("\r\n")), qPrintable(text));
    QVERIFY2(text.contains(says), qPrintable(text));
    QCOMPARE(currentCursor(), Qt::ArrowCursor);
}

// The rows of ou=大量 a listing stopped after its first page kept: one or two pages of 1,000, as a
// page the server had sent before it stopped may still arrive.
void verifyWholePagesKept(const QList<Row>& rows)
{
    QVERIFY2(rows.size() == 1000 || rows.size() == 2000, qPrintable(QString::number(rows.size())));
    QCOMPARE(rows, bulkRows(int(rows.size())));
    qInfo("%d rows kept", int(rows.size()));
}

// The real LDAP directory with a hook after the first page of a listing has reached the
// window: where a test kills or pauses the server in the middle of the listing.
class HookedDirectory : public ForwardingDirectory<directory::LdapDirectory> {
public:
    void enumerate(const directory::DirObject& container, const QStringList& classFilter,
        const std::function<void(const Batch&)>& onBatch) override
    {
        bool first = true;
        inner.enumerate(container, classFilter, [&](const Batch& batch) {
            onBatch(batch);
            if (std::exchange(first, false) && afterFirstPage)
                afterFirstPage();
        });
    }

    std::function<void()> afterFirstPage;
};

} // namespace

class ItServerFaults : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY2(server.startForThisProcess(), qPrintable(server.lastError())); }

    void init()
    {
        QVERIFY2(server.serveAgain(), qPrintable(server.lastError()));
        // No connection from an earlier case: each one opens its own.
        auto fresh = std::make_unique<HookedDirectory>();
        hooked = fresh.get();
        directory::setCurrentDirectory(std::move(fresh));
        window = openMainWindow(TestDirectory::domain, QStringLiteral("someone"), QStringLiteral("secret"));
    }

    void cleanup()
    {
        window.reset();
        directory::setCurrentDirectory(nullptr);
    }

    void aServerKilledInTheMiddleOfABigListingKeepsTheRowsAlreadyListed()
    {
        const QPersistentModelIndex bulk = connectAndFind(TestDirectory::bulkOu);
        QVERIFY(bulk.isValid());
        hooked->afterFirstPage = [this] { QVERIFY2(server.kill(), qPrintable(server.lastError())); };
        MessageRecorder recorder;

        clickNode(window->tvNode, bulk);

        verifyOneBoxOf(recorder, directory::hresult::ServerDown);
        QCOMPARE(recorder.boxes.value(0).icon, platform::MessageIcon::Critical);
        QCOMPARE(recorder.boxes.value(0).cursor, Qt::WaitCursor);
        const QList<Row> rows = listRows(window->lvList);
        verifyWholePagesKept(rows);
        QCOMPARE(childCount(bulk), rows.size());
        QCOMPARE(childCount(topNode(window->tvNode, 0)), TestDirectory::rootListing.size());

        hooked->afterFirstPage = nullptr;
        QVERIFY2(server.restart(), qPrintable(server.lastError()));
        clickNode(window->tvNode, bulk);

        QCOMPARE(recorder.boxes.size(), 1);
        QCOMPARE(listRows(window->lvList), bulkRows(TestDirectory::bulkListedChildren));
        QCOMPARE(childCount(bulk), TestDirectory::bulkListedChildren);
    }

    void aBindToAPausedServerGivesUpWithServerDown()
    {
        shortWaits();
        QVERIFY2(server.pause(), qPrintable(server.lastError()));
        MessageRecorder recorder;

        click(window->cmdConnect);

        verifyOneBoxOf(recorder, directory::hresult::ServerDown, QStringLiteral("応答がありません"));
        QCOMPARE(rowCount(window->tvNode), 1);
        QCOMPARE(childCount(topNode(window->tvNode, 0)), 0);
        QVERIFY(window->cmdConnect->isEnabled());

        resumeWithTheRealWaits();
        clickNode(window->tvNode, topNode(window->tvNode, 0));
        QCOMPARE(recorder.boxes.size(), 1);
        QCOMPARE(childCount(topNode(window->tvNode, 0)), TestDirectory::rootListing.size());
    }

    void aSearchOfAPausedServerGivesUpWithServerDown()
    {
        const QPersistentModelIndex users = connectAndFind(TestDirectory::users);
        QVERIFY(users.isValid());
        // The connection is open and bound: the next request is a search that gets no answer.
        shortWaits();
        QVERIFY2(server.pause(), qPrintable(server.lastError()));
        MessageRecorder recorder;

        clickNode(window->tvNode, users);

        verifyOneBoxOf(recorder, directory::hresult::ServerDown, QStringLiteral("応答がありません"));
        QCOMPARE(childCount(users), 0);
        QCOMPARE(rowCount(window->lvList), 0);
        QCOMPARE(childCount(topNode(window->tvNode, 0)), TestDirectory::rootListing.size());

        // The unanswered session is dropped; the next click opens a new one.
        resumeWithTheRealWaits();
        clickNode(window->tvNode, users);
        QCOMPARE(recorder.boxes.size(), 1);
        QCOMPARE(childCount(users), 10);
    }

    void aListingPausedBetweenPagesGivesUpAndKeepsItsRows()
    {
        const QPersistentModelIndex bulk = connectAndFind(TestDirectory::bulkOu);
        QVERIFY(bulk.isValid());
        shortWaits();
        hooked->afterFirstPage = [this] { QVERIFY2(server.pause(), qPrintable(server.lastError())); };
        MessageRecorder recorder;

        clickNode(window->tvNode, bulk);

        verifyOneBoxOf(recorder, directory::hresult::ServerDown);
        verifyWholePagesKept(listRows(window->lvList));

        hooked->afterFirstPage = nullptr;
        resumeWithTheRealWaits();
        clickNode(window->tvNode, bulk);
        QCOMPARE(recorder.boxes.size(), 1);
        QCOMPARE(rowCount(window->lvList), TestDirectory::bulkListedChildren);
    }

    void aRefusedConnectionIsServerDown()
    {
        // After SIGKILL the socket file stays with nobody listening: connect() is refused.
        QVERIFY2(server.kill(), qPrintable(server.lastError()));
        QVERIFY(QFileInfo::exists(server.directory() + QStringLiteral("/run/ldapi")));
        MessageRecorder recorder;

        click(window->cmdConnect);

        verifyOneBoxOf(recorder, directory::hresult::ServerDown);
        QCOMPARE(childCount(topNode(window->tvNode, 0)), 0);
        QVERIFY(window->cmdConnect->isEnabled());

        QVERIFY2(server.restart(), qPrintable(server.lastError()));
        click(window->cmdConnect);
        QCOMPARE(recorder.boxes.size(), 1);
        QCOMPARE(childCount(topNode(window->tvNode, 0)), TestDirectory::rootListing.size());
    }

    // The server's own limits, set in its configuration. A new server in the same directory
    // keeps the ldapi socket path that libldap was configured with.
    void aListingPastTheServersTotalSizeLimitKeepsWhatCame()
    {
        startAgainWith(QStringLiteral("sizelimit size.prtotal=1500"));
        MessageRecorder recorder;
        const QPersistentModelIndex bulk = connectAndFind(TestDirectory::bulkOu);
        QCOMPARE(recorder.boxes.size(), 0);
        QVERIFY(bulk.isValid());

        clickNode(window->tvNode, bulk);

        verifyOneBoxOf(recorder, int32_t(0x80072023));
        // The first page and the 500 entries of the second that the server sent with its refusal.
        QCOMPARE(listRows(window->lvList), bulkRows(1500));
        QCOMPARE(childCount(bulk), 1500);
    }

    void aListingTheServerRefusesByAnAdministrativeLimitListsNothing()
    {
        // More candidates than this for any filter of the sample data: every listing is refused,
        // while reading one object (one candidate) still works.
        startAgainWith(QStringLiteral("sizelimit size.unchecked=1000"));
        MessageRecorder recorder;

        click(window->cmdConnect);

        verifyOneBoxOf(recorder, int32_t(0x80072024));
        QCOMPARE(rowCount(window->tvNode), 1);
        QCOMPARE(childCount(topNode(window->tvNode, 0)), 0);
        QCOMPARE(rowCount(window->lvList), 0);
        QVERIFY(window->cmdConnect->isEnabled());
    }

private:
    // Connect: the root's child `dn`.
    QPersistentModelIndex connectAndFind(const QString& dn)
    {
        click(window->cmdConnect);
        return childWithKey(topNode(window->tvNode, 0), TestDirectory::adsPath(dn));
    }

    // Waits of 2 s: a request to a paused server fails soon.
    void shortWaits() { hooked->inner.setConnectionOptions({ .networkTimeoutSeconds = 2, .answerTimeoutSeconds = 2 }); }

    // The real waits again, so that a slow machine does not fail the listing that follows.
    void resumeWithTheRealWaits()
    {
        hooked->inner.setConnectionOptions({});
        QVERIFY2(server.resume(), qPrintable(server.lastError()));
    }

    void startAgainWith(const QString& databaseConfig)
    {
        QVERIFY(server.stop());
        server.setOptions({ {}, {}, databaseConfig, false });
        QVERIFY2(server.start(), qPrintable(server.lastError()));
    }

    ScratchDirectoryServer server;
    HookedDirectory* hooked = nullptr;
    std::unique_ptr<frmMain> window;
};

QTEST_MAIN(ItServerFaults)
#include "it_ServerFaults.moc"
