// The server's side: the fuzzer's bytes are what a directory server sends back, on one end of a
// socket pair that libldap gets (ldap_init_fd), through the directory layer's own code: a bind,
// a paged listing (entries, references, results with controls), a group's members (ranged
// values) and their names (a paged subtree search and pipelined base reads). Nothing may crash,
// hang or throw anything but a DirectoryError, and no text shown may hold a NUL.
//
// Input: one byte of flags, then up to four streams, each a 4-byte big-endian length and the
// bytes the server sends on one connection (a connection opened after a failure gets the next).
// The committed seeds are real slapd answers to exactly this session (tests/reliability/
// it_ServerAnswerSeeds records them and checks that a replay gives what the live run gave).

#include "BerReader.h"
#include "FuzzSupport.h"

#include "directory/Connection.h"
#include "directory/LdapDirectory.h"

#include <QList>
#include <cerrno>
#include <csignal>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace fuzz_server_answers {

using directory::Connection;
using directory::DirectoryError;
using directory::DirObject;

const QString prefix = QStringLiteral("LDAP://127.0.0.1/");
const QString domainPath = prefix + QStringLiteral("dc=example,dc=test");
const QString groupPaths[] = { prefix + QStringLiteral("cn=営業部メンバー,ou=営業部,dc=example,dc=test"),
    prefix + QStringLiteral("cn=プロジェクトA,cn=Users,dc=example,dc=test") };
const QStringList listedClasses { QStringLiteral("container"), QStringLiteral("organizationalUnit"),
    QStringLiteral("group"), QStringLiteral("computer"), QStringLiteral("user") };
const QString user = QStringLiteral("cn=administrator,cn=Users,dc=example,dc=test");
const QString password = QStringLiteral("Passw0rd");

enum Flags { RangedMembers = 1, SecondGroup = 2 };

// What one session saw, for properties and for comparing a replay with the live run.
struct Outcome {
    QStringList listed; // path and class of each listed object
    QStringList members;
    QStringList names; // the name read for each member, or its error
    QStringList errors;
    bool operator==(const Outcome&) const = default;
};

Outcome runSession(const directory::LdapDirectory::Opener& opener, int flags, directory::ConnectionOptions options = {})
{
    // Pages of 3: the domain's ten children take four pages and three cookies.
    options.pageSize = 3;
    directory::LdapDirectory directory(options, opener);
    if (flags & RangedMembers)
        directory.setMemberRangeStep(3);
    Outcome outcome;
    try {
        const DirObject domain = directory.bind(domainPath);
        directory.enumerate(domain, listedClasses, [&](const directory::Directory::Batch& batch) {
            for (const DirObject& object : batch)
                outcome.listed.append(object.path().toString() + u' ' + object.className());
        });
    } catch (const DirectoryError& error) {
        outcome.errors.append(error.reportText());
    }
    try {
        const DirObject group = directory.bind(groupPaths[flags & SecondGroup ? 1 : 0]);
        outcome.members = directory.members(group);
        if (!outcome.members.isEmpty()) {
            const std::vector<directory::ReadResult> names = directory.readRelated(
                outcome.members, QStringLiteral("cn"), { directory::Related::Kind::MembersOf, group.dn() });
            for (const directory::ReadResult& name : names)
                outcome.names.append(name.error ? name.error->reportText() : name.value.toString());
        }
    } catch (const DirectoryError& error) {
        outcome.errors.append(error.reportText());
    }
    return outcome;
}

// One message of a stream: its bytes, its message id, and whether it ends the answer to that id
// (anything but an entry, a reference or an intermediate response).
struct Message {
    QByteArray bytes;
    int id = -1;
    int op = 0; // the protocol op's tag
    bool ends = true;
};

QList<Message> split(const QByteArray& stream)
{
    QList<Message> messages;
    qsizetype at = 0;
    while (at < stream.size()) {
        qsizetype start = 0;
        qsizetype length = 0;
        Message message;
        if (!readTlv(stream, at, stream.size(), start, length)) {
            // The rest as it is: a cut message, or bytes that are none.
            message.bytes = stream.mid(at);
            messages.append(message);
            break;
        }
        message.bytes = stream.mid(at, start + length - at);
        const QByteArray content = stream.mid(start, length);
        qsizetype idStart = 0;
        qsizetype idLength = 0;
        if (!content.isEmpty() && content.at(0) == 0x02 && readTlv(content, 0, content.size(), idStart, idLength)
            && idLength >= 1 && idLength <= 4) {
            message.id = 0;
            for (qsizetype i = idStart; i < idStart + idLength; ++i)
                message.id = (message.id << 8) | static_cast<unsigned char>(content.at(i));
            const qsizetype op = idStart + idLength;
            message.op = op < content.size() ? static_cast<unsigned char>(content.at(op)) : 0;
            message.ends = message.op != 0x64 && message.op != 0x73 && message.op != 0x79;
        }
        messages.append(message);
        at = start + length;
    }
    return messages;
}

// Plays a stream as a server would: on each request that wants an answer, the stream's next
// messages up to the one that ends the answer to that request's id. After the last byte the
// sending side is shut, so the client sees the end instead of waiting.
void serve(int fd, const QList<Message> messages)
{
    qsizetype next = 0;
    bool shut = false;
    const auto shutWhenDone = [&] {
        if (!shut && next >= messages.size()) {
            ::shutdown(fd, SHUT_WR);
            shut = true;
        }
    };
    shutWhenDone();
    QByteArray pending;
    for (;;) {
        // The client always has something outstanding or closes; the limit only guards the fuzzer.
        pollfd readable { fd, POLLIN, 0 };
        if (::poll(&readable, 1, 5000) <= 0)
            break;
        char buffer[65536];
        const ssize_t got = ::recv(fd, buffer, sizeof(buffer), 0);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        pending.append(buffer, got);
        qsizetype start = 0;
        qsizetype length = 0;
        while (readTlv(pending, 0, pending.size(), start, length)) {
            const Message request = split(pending.left(start + length)).constFirst();
            pending.remove(0, start + length);
            // Unbind (0x42) and abandon (0x50) get no answer.
            if (shut || request.op == 0x42 || request.op == 0x50)
                continue;
            QByteArray out;
            while (next < messages.size()) {
                const Message& message = messages.at(next++);
                out += message.bytes;
                if (message.ends && message.id == request.id)
                    break;
            }
            for (qsizetype sent = 0; sent < out.size();) {
                const ssize_t written = ::send(fd, out.constData() + sent, size_t(out.size() - sent), MSG_NOSIGNAL);
                if (written < 0 && errno == EINTR)
                    continue;
                if (written <= 0)
                    break;
                sent += written;
            }
            shutWhenDone();
        }
    }
    ::close(fd);
}

// Hands each connection the session opens the next stream, served on a thread of its own.
class Streams {
public:
    explicit Streams(QList<QByteArray> streams)
        : streams_(std::move(streams))
    { }
    ~Streams()
    {
        for (std::thread& thread : threads_)
            thread.join();
    }
    Streams(const Streams&) = delete;
    Streams& operator=(const Streams&) = delete;

    std::shared_ptr<Connection> open(const QString& uri, const directory::ConnectionOptions& options)
    {
        if (next_ >= streams_.size())
            throw DirectoryError(directory::hresult::ServerDown, QStringLiteral("no more streams"));
        int fds[2];
        if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0)
            throw DirectoryError(directory::hresult::ServerDown, QStringLiteral("socketpair"));
        threads_.emplace_back(serve, fds[1], split(streams_.at(next_++)));
        return Connection::openOnSocket(fds[0], uri, user, password, options);
    }

private:
    QList<QByteArray> streams_;
    qsizetype next_ = 0;
    std::vector<std::thread> threads_;
};

// The fuzz input of `streams` with `flags`, as the seeds are written.
QByteArray encode(int flags, const QList<QByteArray>& streams)
{
    QByteArray input(1, char(flags));
    for (const QByteArray& stream : streams) {
        const auto size = quint32(stream.size());
        input += char(size >> 24);
        input += char(size >> 16);
        input += char(size >> 8);
        input += char(size);
        input += stream;
    }
    return input;
}

Outcome replay(const std::uint8_t* data, std::size_t size)
{
    static const bool configured = [] {
        // No ldap.conf, no environment: the fuzzer reaches no configured server.
        qputenv("LDAPNOINIT", "1");
        // The scripted server closes its end whenever the input says so, also under a write.
        std::signal(SIGPIPE, SIG_IGN);
        return true;
    }();
    static_cast<void>(configured);
    fuzzing::Input input(data, size);
    const int flags = input.byte();
    QList<QByteArray> streams;
    while (!input.empty() && streams.size() < 4) {
        const quint32 length = input.u32();
        QByteArray stream;
        for (quint32 i = 0; i < length && !input.empty(); ++i)
            stream += char(input.byte());
        streams.append(stream);
    }
    Outcome outcome;
    {
        // Declared first: the directory's connections close before the servers are joined.
        Streams servers(streams);
        outcome = runSession([&servers](const QString& uri,
                                 const directory::ConnectionOptions& options) { return servers.open(uri, options); },
            flags, { .networkTimeoutSeconds = 2, .answerTimeoutSeconds = 2 });
    }
    return outcome;
}

void check(const Outcome& outcome)
{
    for (const QStringList* texts : { &outcome.listed, &outcome.members, &outcome.names, &outcome.errors }) {
        for (const QString& text : *texts) {
            FUZZ_CHECK(!text.contains(QChar(u'\0')), "a NUL in " + fuzzing::show(text));
            FUZZ_CHECK(fuzzing::wellFormedUtf16(text), fuzzing::show(text));
        }
    }
    // Whatever DN the server names, the object is read on the same server.
    for (const QString& listed : outcome.listed)
        FUZZ_CHECK(listed.startsWith(QLatin1String("LDAP://127.0.0.1")), "listed elsewhere: " + fuzzing::show(listed));
    FUZZ_CHECK(outcome.names.isEmpty() || outcome.names.size() == outcome.members.size(), "names and members differ");
}

} // namespace fuzz_server_answers

FUZZ_TARGET(server_answers)
{
    fuzz_server_answers::check(fuzz_server_answers::replay(data, size));
    return 0;
}
