#pragma once

#include <QFile>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <csignal>

// A private test directory server (tests/directory-server) in a temporary directory, for
// tests that stop, pause or kill the server: the shared ctest fixture must stay up for
// the others. Started by the same script, with the same sample data.
//
// libldap reads LDAPCONF once, at its first use in the process: call useForThisProcess()
// (or set LDAPCONF to ldapConfPath()) before anything in the test touches libldap.
class ScratchDirectoryServer {
public:
    struct Options {
        QStringList generatorArguments; // for gen-sample-data.py, e.g. {"--bulk-users", "3000"}
        QStringList extraLdif; // files loaded after the sample data
        QString databaseConfig; // extra lines of the database section, e.g. "sizelimit size.prtotal=1500"
        bool log = false; // slapd -d stats into serverLog()
    };

    ScratchDirectoryServer();
    explicit ScratchDirectoryServer(Options options);
    ~ScratchDirectoryServer(); // stops the server, removes the directory
    Q_DISABLE_COPY_MOVE(ScratchDirectoryServer)

    // Each returns false on failure, with the reason in lastError().
    bool start(); // a fresh instance: new data, new port, the same directory and ldapi socket
    bool stop(); // SIGTERM, SIGKILL after 5 s; true when nothing runs any more
    bool restart(); // start again with the same data, socket path and port
    bool pause() { return signalAndWait(SIGSTOP, "SIGSTOP"); } // connections stay open, nothing is answered
    bool resume() { return signalAndWait(SIGCONT, "SIGCONT"); }
    bool kill() { return signalAndWait(SIGKILL, "SIGKILL"); } // no shutdown, the socket file stays behind

    bool isRunning() const { return pid() != 0; }
    bool isPaused() const;
    qint64 pid() const; // 0 when no server runs

    QString directory() const { return dir; }
    QString ldapConfPath() const { return file(QStringLiteral("ldap.conf")); }
    QString ldapiUri() const { return readFile(QStringLiteral("ldapi-uri")); } // as in ldap.conf, percent-encoded
    QString tcpUri() const { return QStringLiteral("ldap://127.0.0.1:%1").arg(port()); }
    int port() const { return readFile(QStringLiteral("port")).toInt(); }
    int tlsPort() const { return readFile(QStringLiteral("tls-port")).toInt(); } // of ldaps://127.0.0.1:TLSPORT
    // The client files the start script writes: "ldap.conf", "ldaps.conf", "starttls.conf",
    // "tls/ca.pem", "tls/other-ca.pem", "tls/client.pem", "tls/client.key", ...
    QString file(const QString& name) const { return dir + u'/' + name; }
    // What slapd logged so far (Options::log), empty otherwise.
    QString serverLog() const { return readFile(QStringLiteral("run/slapd.log")); }

    // For the next start(): another configuration in the same place.
    void setOptions(Options next) { options = std::move(next); }

    // Sets LDAPCONF of this process to ldapConfPath().
    bool useForThisProcess() const { return qputenv("LDAPCONF", QFile::encodeName(ldapConfPath())); }
    // start() and useForThisProcess(), as initTestCase() does before anything touches libldap.
    bool startForThisProcess() { return start() && useForThisProcess(); }
    // Running and answering again after a case stopped, killed or paused the server.
    bool serveAgain();

    QString lastError() const { return error; }

    // True while PID is a live process (not a zombie).
    static bool processAlive(qint64 pid);

private:
    bool runScript(const QString& script, const QStringList& arguments);
    // Sends the signal and waits, 5 s at most, until the server has stopped, runs again or is gone.
    bool signalAndWait(int signalNumber, const char* name);
    QString readFile(const QString& name) const;

    Options options;
    QTemporaryDir temporary;
    QString dir;
    QString error;
};
