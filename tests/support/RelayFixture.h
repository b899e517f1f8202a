#pragma once

#include "LdapRelay.h"
#include "ScratchDirectoryServer.h"

#include <QFile>
#include <QTemporaryDir>

// A private directory server with an LdapRelay in front of it, and an ldap.conf in `scratch`
// that points this process's libldap at the relay with the given SASL_MECH. Start it before
// anything in the process touches libldap: libldap reads LDAPCONF once.
class RelayFixture {
public:
    // False on failure, with the reason in lastError().
    bool start(const QString& saslMech)
    {
        if (!server.start())
            return failed(server.lastError());
        if (!scratch.isValid())
            return failed(scratch.errorString());
        if (!relay.start(scratch.filePath(QStringLiteral("relay")), server.directory() + QStringLiteral("/run/ldapi")))
            return failed(relay.lastError());
        QFile conf(scratch.filePath(QStringLiteral("ldap.conf")));
        const QByteArray text
            = QStringLiteral("URI %1\nBASE DC=example,DC=test\nSASL_MECH %2\n").arg(relay.uri(), saslMech).toUtf8();
        if (!conf.open(QIODevice::WriteOnly) || conf.write(text) != text.size() || !conf.flush())
            return failed(conf.errorString());
        conf.close();
        qputenv("LDAPCONF", QFile::encodeName(conf.fileName()));
        return true;
    }
    QString lastError() const { return error; }

    ScratchDirectoryServer server;
    QTemporaryDir scratch;
    LdapRelay relay;

private:
    bool failed(const QString& reason)
    {
        error = reason;
        return false;
    }

    QString error;
};
