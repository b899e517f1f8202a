#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// A network and mount namespace of the test's own (root only): loopback up, extra IPv4 addresses
// on it, and /etc/hosts and /etc/resolv.conf replaced inside it only. A test can so name hosts
// and addresses that look like another machine to the program while nothing sent can leave this
// one: the namespace has no interface but lo.
//
// Namespaces belong to threads: enter() before starting the threads that must live in it (they
// inherit it), and do the work on the thread that called enter().
class PrivateNetwork {
public:
    PrivateNetwork() = default;
    Q_DISABLE_COPY_MOVE(PrivateNetwork)

    // addresses: IPv4 texts put on lo (as /32). hosts: the whole /etc/hosts inside. resolv.conf
    // names 127.0.0.1 only. False with the reason in lastError() (for example not root).
    bool enter(const QStringList& addresses, const QByteArray& hosts);
    QString lastError() const { return error; }

private:
    bool bindFile(const QString& name, const QByteArray& contents, const char* target);

    QTemporaryDir files;
    QString error;
};
