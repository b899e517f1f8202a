// What the program puts on the wire, read back from a relay in front of a private directory
// server: for a strange domain text, the root DN that the typed labels make and nothing else;
// for every bind, no password from the login fields or data.ini.

#include "BrowserTests.h"
#include "DataTable.h"
#include "RelayFixture.h"
#include "TestDirectory.h"
#include "directory/Dn.h"
#include "platform/AppInfo.h"
#include "platform/Cp932.h"
#include "platform/Testing.h"

#include <QLineEdit>

using namespace browsertests;

namespace {

constexpr int bindOp = 0x60;
constexpr int searchOp = 0x63;

QList<LdapRelay::Request> searchesIn(QList<LdapRelay::Request> requests)
{
    requests.removeIf([](const LdapRelay::Request& request) { return request.operation != searchOp; });
    return requests;
}

// Every bind the program makes as the running user: SASL EXTERNAL, nothing offered with it.
void verifyBindsAreExternalOnly(const QList<LdapRelay::Request>& requests)
{
    for (const LdapRelay::Request& request : requests) {
        if (request.operation != bindOp)
            continue;
        QVERIFY2(!request.simpleBind, request.dn.constData());
        QCOMPARE(request.mechanism, QByteArray("EXTERNAL"));
        QCOMPARE(request.credentials, QByteArray());
        QCOMPARE(request.dn, QByteArray());
    }
}

// The password in each encoding it could leave in: UTF-8, UTF-16 and the ANSI code page.
QList<QByteArray> encodingsOf(const QString& password)
{
    const QByteArray utf16(reinterpret_cast<const char*>(password.utf16()), password.size() * 2);
    return { password.toUtf8(), utf16, platform::toAnsi(password) };
}

} // namespace

class ItWhatReachesTheServer : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY2(fixture.start(QStringLiteral("EXTERNAL")), qPrintable(fixture.lastError()));
        platform::testing::setAppPath(fixture.scratch.path());
    }

    void init()
    {
        directory::setCurrentDirectory(nullptr);
        window = openMainWindow(QString(), QStringLiteral("someone"), QStringLiteral("secret"));
        fixture.relay.clear();
    }
    void cleanup()
    {
        window.reset();
        directory::setCurrentDirectory(nullptr);
    }

    void theRelayPassesTheSampleDirectoryOn()
    {
        window->txtDomain->setText(TestDirectory::domain);
        MessageRecorder recorder;
        click(window->cmdConnect);
        QCOMPARE(recorder.boxes.size(), 0);
        QCOMPARE(childCount(topNode(window->tvNode, 0)), TestDirectory::rootListing.size());
        const QList<LdapRelay::Request> searches = searchesIn(fixture.relay.requests());
        QCOMPARE(searches.size(), 2); // the bind's base read and the listing
        QCOMPARE(searches.at(0).dn, QByteArray("DC=example,DC=test"));
        verifyBindsAreExternalOnly(fixture.relay.requests());
    }

    void strangeDomainTextGivesOneClearErrorAndSendsOnlyItsLabels_data()
    {
        addColumns<QString, bool>({ "domain", "found" });
        const std::tuple<const char*, const char*, bool> rows[] = {
            { "commas", "a,b.example.test", false },
            { "a comma at the end", "example.test,", false },
            { "an RDN of its own", "example.test,OU=x", false },
            { "equals signs", "a=b.example.test", false },
            { "an equals sign alone", "=.test", false },
            { "double quotes", "\"example\".test", false },
            { "a quote inside", "ex\"ample.test", false },
            { "a backslash", "a\\b.example.test", false },
            { "a backslash at the end", "example.test\\", false },
            { "an escaped comma", "a\\2Cb.example.test", false },
            { "plus and semicolon", "a+b;c.test", false },
            { "a slash and a server", "127.0.0.1:389/DC=other", false },
            { "control characters", "a\001b\tc\037.example.test", false },
            { "a line break", "example\r\n.test", true },
            { "Japanese labels", "営業部.例え.テスト", false },
            { "a Japanese label among ASCII ones", "東京.example.test", false },
            { "blanks", " example . test ", true },
            { "dots only", "...", false },
        };
        for (const auto& [name, domain, found] : rows)
            QTest::newRow(name) << QString::fromUtf8(domain) << found;
        QTest::newRow("300 labels") << QStringList(300, QStringLiteral("a")).join(u'.') << false;
        QTest::newRow("10,000 characters") << QString(10000, u'x') << false;
        QTest::newRow("10,000 characters of labels")
            << QStringList(5000, QStringLiteral("y")).join(u'.').left(10000) << false;
        QTest::newRow("a NUL") << (QStringLiteral("exa") + QChar(u'\0') + QStringLiteral("mple.test")) << false;
    }
    void strangeDomainTextGivesOneClearErrorAndSendsOnlyItsLabels()
    {
        QFETCH(QString, domain);
        QFETCH(bool, found);
        const QString rootPath = directory::dn::rootPath(domain);
        window->txtDomain->setText(domain);
        MessageRecorder recorder;

        click(window->cmdConnect);

        const QList<LdapRelay::Request> requests = fixture.relay.requests();
        const QList<LdapRelay::Request> searches = searchesIn(requests);
        verifyBindsAreExternalOnly(requests);
        if (found) {
            // The server reads blanks and line breaks around a value as nothing: its domain.
            QCOMPARE(recorder.boxes.size(), 0);
            QCOMPARE(searches.constFirst().dn, rootPath.mid(7).toUtf8());
            QCOMPARE(childCount(topNode(window->tvNode, 0)), TestDirectory::rootListing.size());
            return;
        }
        QCOMPARE(recorder.boxes.size(), 1);
        const Box& box = recorder.boxes.constFirst();
        QCOMPARE(box.icon, platform::MessageIcon::Critical);
        // "number CR LF description": a directory error, with a description of a readable length.
        const qsizetype lineBreak = box.text.indexOf(QStringLiteral("\r\n"));
        QVERIFY2(lineBreak > 0, qPrintable(box.text));
        bool numeric = false;
        QVERIFY(box.text.left(lineBreak).toInt(&numeric) < 0 && numeric);
        QVERIFY(box.text.size() - lineBreak > 10);
        QVERIFY2(box.text.size() < 1000, qPrintable(QString::number(box.text.size())));
        QCOMPARE(currentCursor(), Qt::ArrowCursor);
        QCOMPARE(rowCount(window->tvNode), 1);
        QCOMPARE(childCount(topNode(window->tvNode, 0)), 0);
        QCOMPARE(rowCount(window->lvList), 0);
        QVERIFY(window->cmdConnect->isEnabled());

        // Either nothing was asked of the server, or one base read of exactly the typed labels.
        QVERIFY2(searches.size() <= 1, qPrintable(QString::number(searches.size())));
        if (!searches.isEmpty())
            QCOMPARE(searches.constFirst().dn, rootPath.mid(7).toUtf8());
        qInfo("%s: %s, %s", QTest::currentDataTag(), qPrintable(box.text.left(lineBreak)),
            searches.isEmpty() ? "nothing sent" : "sent as typed");
    }

    void noPasswordFromTheLoginFieldsOrDataIniReachesTheServer()
    {
        const QString savedPassword = QStringLiteral("Mv-保存済み-7Qx!pw");
        // Typed key by key (QTest types Latin-1 only); the saved one holds Japanese.
        const QString typedPassword = QStringLiteral("Mv-typed-K3z#pw");
        window.reset();
        QFile ini(fixture.scratch.filePath(QStringLiteral("data.ini")));
        QVERIFY(testfiles::writeBytes(ini.fileName(),
            platform::toAnsi(QStringLiteral("[Data]\r\nDOMAIN=example.test\r\nACCOUNT=administrator\r\nPASSWORD=")
                + savedPassword + QStringLiteral("\r\n"))));
        window = openMainWindow();
        QCOMPARE(window->txtPassWord->text(), savedPassword);
        MessageRecorder recorder;

        click(window->cmdConnect);
        clickNode(
            window->tvNode, childWithKey(topNode(window->tvNode, 0), TestDirectory::adsPath(TestDirectory::users)));
        click(window->cmdDisConect);
        window->txtPassWord->clear();
        QTest::keyClicks(window->txtPassWord, typedPassword);
        QCOMPARE(window->txtPassWord->text(), typedPassword);
        click(window->cmdConnect);
        clickNode(
            window->tvNode, childWithKey(topNode(window->tvNode, 0), TestDirectory::adsPath(TestDirectory::sales)));
        // The probes that reach the directory, the one with its own fixed account included.
        for (const int probe : { 1, 2, 3 }) {
            auto* button = window->findChild<QPushButton*>(QStringLiteral("Command%1").arg(probe));
            QVERIFY(button);
            button->click();
        }
        window->close();

        QCOMPARE(childCount(topNode(window->tvNode, 0)), TestDirectory::rootListing.size());
        const QByteArray sent = fixture.relay.sent();
        for (const QString& password : { savedPassword, typedPassword }) {
            for (const QByteArray& bytes : encodingsOf(password))
                QVERIFY2(!sent.contains(bytes), qPrintable(password));
        }
        // The one simple bind is the probe's, with the program's own fixed account; that its
        // password shows here proves that a password sent would be seen.
        QList<LdapRelay::Request> simpleBinds;
        QList<LdapRelay::Request> others;
        for (const LdapRelay::Request& request : fixture.relay.requests()) {
            if (request.operation == bindOp)
                (request.simpleBind ? simpleBinds : others).append(request);
        }
        QCOMPARE(simpleBinds.size(), 1);
        QCOMPARE(simpleBinds.constFirst().dn, QByteArray("administrator"));
        QCOMPARE(simpleBinds.constFirst().credentials, QByteArray("4821rum"));
        QVERIFY(sent.contains("4821rum"));
        QVERIFY(!others.isEmpty());
        verifyBindsAreExternalOnly(others);
        qInfo("%d requests, %d of them SASL EXTERNAL binds, in %d bytes", int(fixture.relay.requests().size()),
            int(others.size()), int(sent.size()));
        // data.ini keeps the typed password on the disk, where it belongs.
        QVERIFY(ini.open(QIODevice::ReadOnly));
        QVERIFY(ini.readAll().contains(platform::toAnsi(typedPassword)));
    }

private:
    RelayFixture fixture;
    std::unique_ptr<frmMain> window;
};

QTEST_MAIN(ItWhatReachesTheServer)
#include "it_WhatReachesTheServer.moc"
