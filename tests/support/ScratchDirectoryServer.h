#pragma once

#include <QString>
#include <QStringList>
#include <QTemporaryDir>

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
    ScratchDirectoryServer(const ScratchDirectoryServer&) = delete;
    ScratchDirectoryServer& operator=(const ScratchDirectoryServer&) = delete;

    // Each returns false on failure, with the reason in lastError().
    bool start(); // a fresh instance: new data, new port, the same directory and ldapi socket
    bool stop(); // SIGTERM, SIGKILL after 5 s; true when nothing runs any more
    bool restart(); // start again with the same data, socket path and port
    bool pause(); // SIGSTOP: connections stay open, nothing is answered
    bool resume(); // SIGCONT
    bool kill(); // SIGKILL: no shutdown, the socket file stays behind

    bool isRunning() const;
    bool isPaused() const;
    qint64 pid() const; // 0 when no server runs

    QString directory() const;
    QString ldapConfPath() const;
    QString ldapiUri() const; // as in ldap.conf, percent-encoded
    QString tcpUri() const; // ldap://127.0.0.1:PORT
    int port() const;
    int tlsPort() const; // of ldaps://127.0.0.1:TLSPORT
    // The client files the start script writes: "ldap.conf", "ldaps.conf", "starttls.conf",
    // "tls/ca.pem", "tls/other-ca.pem", "tls/client.pem", "tls/client.key", ...
    QString file(const QString& name) const;
    // What slapd logged so far (Options::log), empty otherwise.
    QString serverLog() const;

    // For the next start(): another configuration in the same place.
    void setOptions(Options next) { options = std::move(next); }

    // Sets LDAPCONF of this process to ldapConfPath().
    void useForThisProcess() const;
    // start() and useForThisProcess(), as initTestCase() does before anything touches libldap.
    bool startForThisProcess();
    // Running and answering again after a case stopped, killed or paused the server.
    bool serveAgain();

    QString lastError() const { return error; }

    // True while PID is a live process (not a zombie).
    static bool processAlive(qint64 pid);

private:
    bool runScript(const QString& script, const QStringList& arguments);
    bool sendSignal(int signalNumber, const char* name);
    QString readFile(const QString& name) const;

    Options options;
    QTemporaryDir temporary;
    QString dir;
    QString error;
};
