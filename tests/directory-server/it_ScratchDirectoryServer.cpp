#include "ScratchDirectoryServer.h"
#include "TestDirectory.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryFile>
#include <QTest>

#include <memory>

namespace {

struct ToolResult {
    int exitCode = -1;
    QString output;
    QStringList dns; // decoded "dn:" / "dn::" lines
};

// The arguments in `text`, split at blanks.
QStringList words(const char* text)
{
    return QString::fromLatin1(text).split(u' ');
}

// An OpenLDAP client pointed at the server by LDAPCONF, as libldap in Mivora is.
QProcess* startTool(const QString& program, const QStringList& arguments, const QString& ldapConf)
{
    auto* process = new QProcess;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("LDAPNOINIT"));
    environment.insert(QStringLiteral("LDAPCONF"), ldapConf);
    process->setProcessEnvironment(environment);
    process->start(program, arguments);
    return process;
}

ToolResult finish(QProcess& process, int timeoutMs = 20000)
{
    ToolResult result;
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished();
        return result;
    }
    result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.output = QString::fromUtf8(process.readAllStandardOutput());
    for (const QString& line : result.output.split(u'\n')) {
        if (line.startsWith(QLatin1String("dn:: ")))
            result.dns.append(QString::fromUtf8(QByteArray::fromBase64(line.mid(5).toLatin1())));
        else if (line.startsWith(QLatin1String("dn: ")))
            result.dns.append(line.mid(4));
    }
    return result;
}

ToolResult run(const QString& program, const QStringList& arguments, const QString& ldapConf)
{
    std::unique_ptr<QProcess> process(startTool(program, arguments, ldapConf));
    return finish(*process);
}

ToolResult whoami(const ScratchDirectoryServer& server)
{
    return run(QStringLiteral("ldapwhoami"), { QStringLiteral("-Q") }, server.ldapConfPath());
}

ToolResult search(const ScratchDirectoryServer& server, const QStringList& arguments)
{
    return run(QStringLiteral("ldapsearch"), words("-Q -LLL -o ldif-wrap=no") + arguments, server.ldapConfPath());
}

ToolResult baseSearch(const ScratchDirectoryServer& server, const QString& dn)
{
    return search(server, words("-s base -b") << dn << QStringLiteral("1.1"));
}

const QString classFilter = QStringLiteral("(|(objectClass=container)(objectClass=organizationalUnit)"
                                           "(objectClass=group)(objectClass=computer)(objectClass=user))");

ToolResult pagedListing(const ScratchDirectoryServer& server, const QString& dn)
{
    return search(server, words("-s one -E pr=500/noprompt -b") << dn << classFilter << QStringLiteral("1.1"));
}

} // namespace

class ItScratchDirectoryServer : public QObject {
    Q_OBJECT
private slots:
    void startGivesTheReaderOverLdapiAndAPrivatePort()
    {
        ScratchDirectoryServer server;
        QVERIFY2(server.start(), qPrintable(server.lastError()));
        QVERIFY(server.isRunning());
        QCOMPARE(whoami(server).output.trimmed(), TestDirectory::readerAuthzId);

        QFile conf(server.ldapConfPath());
        QVERIFY(conf.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(conf.readAll());
        QVERIFY(text.contains(QStringLiteral("URI ") + server.ldapiUri() + u'\n'));
        QVERIFY(text.contains(QStringLiteral("SASL_MECH EXTERNAL\n")));
        QVERIFY(server.ldapiUri().startsWith(QLatin1String("ldapi://%2F")));
        QVERIFY(server.port() >= 20000 && server.port() < 32768);

        const ToolResult rootDse = run(QStringLiteral("ldapsearch"),
            words("-x -H") << server.tcpUri() << words("-LLL -s base -b") << QString()
                           << QStringLiteral("namingContexts"),
            server.ldapConfPath());
        QCOMPARE(rootDse.exitCode, 0);
        QVERIFY(rootDse.output.contains(QStringLiteral("namingContexts: dc=example,dc=test")));
    }

    void twoInstancesRunSideBySide()
    {
        ScratchDirectoryServer first;
        ScratchDirectoryServer second;
        QVERIFY2(first.start(), qPrintable(first.lastError()));
        QVERIFY2(second.start(), qPrintable(second.lastError()));
        QVERIFY(first.port() != second.port());
        QVERIFY(first.ldapiUri() != second.ldapiUri());
        QVERIFY(first.pid() != second.pid());
        QVERIFY(first.stop());
        QCOMPARE(whoami(second).exitCode, 0);
        QVERIFY(whoami(first).exitCode != 0);
    }

    void restartKeepsSocketPortAndData()
    {
        ScratchDirectoryServer server;
        QVERIFY2(server.start(), qPrintable(server.lastError()));
        const int port = server.port();
        const QString uri = server.ldapiUri();
        const qint64 pid = server.pid();

        QVERIFY2(server.restart(), qPrintable(server.lastError()));
        QCOMPARE(server.port(), port);
        QCOMPARE(server.ldapiUri(), uri);
        QVERIFY(server.pid() != pid);
        QVERIFY(!ScratchDirectoryServer::processAlive(pid));
        QCOMPARE(baseSearch(server, TestDirectory::yamadaTaro).dns, QStringList { TestDirectory::yamadaTaro });
    }

    void stopEndsTheProcessAndMayBeRepeated()
    {
        ScratchDirectoryServer server;
        QVERIFY(server.stop()); // nothing started yet
        QVERIFY2(server.start(), qPrintable(server.lastError()));
        const qint64 pid = server.pid();
        QVERIFY(server.stop());
        QVERIFY(!ScratchDirectoryServer::processAlive(pid));
        QVERIFY(!server.isRunning());
        QVERIFY(whoami(server).exitCode != 0);
        QVERIFY(server.stop());
    }

    void aRequestSentWhilePausedIsAnsweredAfterResume()
    {
        ScratchDirectoryServer server;
        QVERIFY2(server.start(), qPrintable(server.lastError()));
        QVERIFY2(server.pause(), qPrintable(server.lastError()));
        QVERIFY(server.isPaused());

        std::unique_ptr<QProcess> waiting(
            startTool(QStringLiteral("ldapwhoami"), { QStringLiteral("-Q") }, server.ldapConfPath()));
        QVERIFY(waiting->waitForStarted());
        QVERIFY2(!waiting->waitForFinished(700), "a paused server answered");

        QVERIFY2(server.resume(), qPrintable(server.lastError()));
        QVERIFY(!server.isPaused());
        const ToolResult answered = finish(*waiting);
        QCOMPARE(answered.exitCode, 0);
        QCOMPARE(answered.output.trimmed(), TestDirectory::readerAuthzId);
    }

    void stopEndsAPausedServer()
    {
        ScratchDirectoryServer server;
        QVERIFY2(server.start(), qPrintable(server.lastError()));
        const qint64 pid = server.pid();
        QVERIFY(server.pause());
        QVERIFY2(server.stop(), qPrintable(server.lastError()));
        QVERIFY(!ScratchDirectoryServer::processAlive(pid));
    }

    void killLeavesTheSocketBehindAndRestartServesAgain()
    {
        ScratchDirectoryServer server;
        QVERIFY2(server.start(), qPrintable(server.lastError()));
        const int port = server.port();
        QVERIFY2(server.kill(), qPrintable(server.lastError()));
        QVERIFY(!server.isRunning());
        QVERIFY(QFile::exists(server.directory() + QStringLiteral("/run/ldapi")));
        QVERIFY(whoami(server).exitCode != 0);

        QVERIFY2(server.restart(), qPrintable(server.lastError()));
        QCOMPARE(server.port(), port);
        QCOMPARE(whoami(server).output.trimmed(), TestDirectory::readerAuthzId);
    }

    void destructorStopsTheServerAndRemovesItsDirectory()
    {
        qint64 pid = 0;
        QString directory;
        {
            ScratchDirectoryServer server;
            QVERIFY2(server.start(), qPrintable(server.lastError()));
            pid = server.pid();
            directory = server.directory();
            QVERIFY(ScratchDirectoryServer::processAlive(pid));
        }
        QVERIFY(!ScratchDirectoryServer::processAlive(pid));
        QVERIFY(!QFile::exists(directory));
    }

    void generatorArgumentsAndExtraLdifShapeTheData()
    {
        QTemporaryFile ldif;
        QVERIFY(ldif.open());
        ldif.write("dn:: T1U96L+95YqgLERDPWV4YW1wbGUsREM9dGVzdA==\n" // OU=追加,DC=example,DC=test
                   "objectClass: top\nobjectClass: organizationalUnit\nou:: 6L+95Yqg\n\n");
        ldif.close();
        ScratchDirectoryServer server({ words("--bulk-users 3"), { ldif.fileName() }, {} });
        QVERIFY2(server.start(), qPrintable(server.lastError()));
        QCOMPARE(pagedListing(server, QStringLiteral("ou=大量ユーザー,dc=example,dc=test")).dns,
            QStringList({ QStringLiteral("cn=user000001,ou=大量ユーザー,dc=example,dc=test"),
                QStringLiteral("cn=user000002,ou=大量ユーザー,dc=example,dc=test"),
                QStringLiteral("cn=user000003,ou=大量ユーザー,dc=example,dc=test") }));
        QCOMPARE(baseSearch(server, QStringLiteral("ou=追加,dc=example,dc=test")).exitCode, 0);
        QCOMPARE(pagedListing(server, TestDirectory::base).dns.mid(0, TestDirectory::rootListing.size()),
            TestDirectory::rootListing);
    }

    void aBrokenLdifFailsTheStartWithTheReason()
    {
        QTemporaryFile ldif;
        QVERIFY(ldif.open());
        ldif.write("dn: OU=Orphan,OU=Missing,DC=example,DC=test\nobjectClass: organizationalUnit\nou: Orphan\n\n");
        ldif.close();
        ScratchDirectoryServer server({ {}, { ldif.fileName() }, {} });
        QVERIFY(!server.start());
        QVERIFY2(server.lastError().contains(QLatin1String("slapadd")), qPrintable(server.lastError()));
        QVERIFY(!server.isRunning());
    }

    // TestDirectory.h spells the names exactly as slapd returns them.
    void sampleNamesAreTheServersOwn()
    {
        ScratchDirectoryServer server;
        QVERIFY2(server.start(), qPrintable(server.lastError()));
        using namespace TestDirectory;
        const QStringList visible { base, readerDn, administratorDn, users, computers, domainControllers, sales, tokyo,
            salesDocuments, emptyOu, contactOnlyOu, bulkOu, yamadaTaro, satoHanako, itoKen, suzukiIchiro, tanakaMinoru,
            takahashiNaoko, yamadaJiro, hansMueller, kimMinjun, allStaff, salesMembers, tokyoMembers, projectA,
            sysAdmins, emptyGroup, srv01, pc0001, dc01, pcSales, pcRoot, rootContact, lastRootContact, usersContact,
            salesContact, contactOuContact, printer, builtin, lostAndFound };
        for (const QString& dn : visible)
            QCOMPARE(baseSearch(server, dn).dns, QStringList { dn });
        QCOMPARE(baseSearch(server, hiddenGroup).exitCode, 32);

        QCOMPARE(pagedListing(server, base).dns, rootListing);
        const QStringList bulk = pagedListing(server, bulkOu).dns;
        QCOMPARE(bulk.size(), bulkListedChildren);
        for (int k = 1; k <= bulkListedChildren; ++k)
            QCOMPARE(bulk.at(k - 1), bulkChildDn(k));
        const ToolResult computer
            = search(server, words("-s base -b") << bulkChildDn(125) << QStringLiteral("structuralObjectClass"));
        QVERIFY(computer.output.contains(QStringLiteral("structuralObjectClass: ") + bulkChildClass(125)));
    }

    void firstRdnStopsAtTheFirstUnescapedComma()
    {
        QCOMPARE(TestDirectory::firstRdn(TestDirectory::yamadaJiro), QStringLiteral("cn=Yamada\\2C Jiro"));
        QCOMPARE(TestDirectory::firstRdn(QStringLiteral("cn=a\\,b,dc=x")), QStringLiteral("cn=a\\,b"));
        QCOMPARE(TestDirectory::firstRdn(TestDirectory::users), QStringLiteral("cn=Users"));
        QCOMPARE(TestDirectory::firstRdn(QStringLiteral("dc=test")), QStringLiteral("dc=test"));
    }
};

QTEST_APPLESS_MAIN(ItScratchDirectoryServer)
#include "it_ScratchDirectoryServer.moc"
