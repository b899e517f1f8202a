#pragma once

// A private test directory with the sample data and entries of a test's own, for cases the shared
// one does not hold, and the LDIF those entries are written in.

#include "ScratchDirectoryServer.h"
#include "directory/Dn.h"

#include <QStringList>
#include <QTemporaryFile>
#include <memory>

// One LDIF line; every value in base64, which is always allowed and keeps UTF-8 intact.
inline QByteArray ldifLine(const char* type, const QString& value)
{
    return QByteArray(type) + ":: " + value.toUtf8().toBase64() + '\n';
}

// The value of a DN's first RDN: the cn of the entries written here, the name the window shows.
inline QString cnOf(const QString& dn)
{
    return directory::dn::rdnValue(directory::dn::firstRdn(dn));
}

// An entry with its classes, the cn of its DN (and the same sn for a person), members and memberOf values.
inline QByteArray ldifEntry(
    const QString& dn, const QStringList& classes, const QStringList& members, const QStringList& memberOf)
{
    const QString cn = cnOf(dn);
    QByteArray ldif = ldifLine("dn", dn);
    for (const QString& objectClass : classes)
        ldif += ldifLine("objectClass", objectClass);
    ldif += ldifLine("cn", cn);
    if (classes.contains(QStringLiteral("person")))
        ldif += ldifLine("sn", cn);
    for (const QString& member : members)
        ldif += ldifLine("member", member);
    // slapadd bypasses the memberof overlay: memberOf is written as the program will read it.
    for (const QString& group : memberOf)
        ldif += ldifLine("memberOf", group);
    return ldif + '\n';
}

inline const QStringList groupClasses { QStringLiteral("top"), QStringLiteral("group") };
inline const QStringList userClasses { QStringLiteral("top"), QStringLiteral("person"),
    QStringLiteral("organizationalPerson"), QStringLiteral("user") };

// Starts a private server with `ldif` loaded after the sample data and points this process's
// libldap at it: call it before anything in the test touches libldap.
class PrivateDirectory {
public:
    bool start(const QByteArray& ldif)
    {
        if (!file.open()) {
            error = file.errorString();
            return false;
        }
        file.write(ldif);
        file.close();
        ScratchDirectoryServer::Options options;
        options.extraLdif = QStringList { file.fileName() };
        server = std::make_unique<ScratchDirectoryServer>(options);
        if (!server->start()) {
            error = server->lastError();
            return false;
        }
        server->useForThisProcess();
        return true;
    }
    void stop() { server.reset(); }
    QString lastError() const { return error; }

private:
    QTemporaryFile file;
    std::unique_ptr<ScratchDirectoryServer> server;
    QString error;
};
