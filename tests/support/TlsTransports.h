#pragma once

// The two ways to TLS that a private server offers, as a _data column: ldaps://, which its
// ldap.conf names, and StartTLS on ldap://.

#include "ScratchDirectoryServer.h"

#include <QTest>
#include <ldap.h>

// The StartTLS URI is two literals: "??!" would be a trigraph.
inline void tlsTransportRows(const ScratchDirectoryServer& server)
{
    QTest::addColumn<QString>("uri");
    QTest::newRow("ldaps") << QString();
    QTest::newRow("StartTLS") << QStringLiteral("ldap://127.0.0.1:%1/????"
                                                "!StartTLS")
                                     .arg(server.port());
}

// The row's transport for the connections opened from now on, as URI in ldap.conf sets it.
inline void useTlsTransportOfTheRow()
{
    QFETCH(QString, uri);
    if (!uri.isEmpty())
        QCOMPARE(ldap_set_option(nullptr, LDAP_OPT_URI, uri.toUtf8().constData()), LDAP_OPT_SUCCESS);
}
