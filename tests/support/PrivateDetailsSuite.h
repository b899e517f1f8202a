#pragma once

#include "DetailsTestSupport.h"
#include "PrivateDirectory.h"

#include <QObject>
#include <QTest>

// The base of the details suites that need entries of their own: a private directory holding
// the sample data and `extraEntries`, up for the whole suite, and every case ended as
// verifyDetailsCaseEnded() checks.
class PrivateDetailsSuite : public QObject {
    Q_OBJECT
protected:
    explicit PrivateDetailsSuite(QByteArray extraEntries)
        : ldif(std::move(extraEntries))
    { }

private slots:
    void initTestCase() { QVERIFY2(server.start(ldif), qPrintable(server.lastError())); }
    void cleanupTestCase() { server.stop(); }
    void cleanup() { verifyDetailsCaseEnded(); }

private:
    QByteArray ldif;
    PrivateDirectory server;
};

// The suite over the sample data and what `extraEntries` returns.
template <QByteArray (*extraEntries)()> class PrivateDetailsSuiteOf : public PrivateDetailsSuite {
protected:
    PrivateDetailsSuiteOf()
        : PrivateDetailsSuite(extraEntries())
    { }
};
