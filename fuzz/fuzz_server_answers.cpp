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
#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <exception>
#include <fcntl.h>
#include <linux/sockios.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/uio.h>
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

// Whether thread `client` is blocked in poll on `fd` for reading; false when the kernel does not say.
bool pollingOn(pid_t client, int fd)
{
    char path[64];
    std::snprintf(path, sizeof(path), "/proc/self/task/%d/syscall", int(client));
    const int file = ::open(path, O_RDONLY | O_CLOEXEC);
    if (file < 0)
        return false;
    char text[256] {};
    const ssize_t got = ::read(file, text, sizeof(text) - 1);
    ::close(file);
    long call = -1;
    unsigned long fds = 0;
    unsigned long count = 0;
    if (got <= 0 || std::sscanf(text, "%ld %lx %lx", &call, &fds, &count) != 3)
        return false;
#ifdef SYS_poll
    const bool polling = call == SYS_poll || call == SYS_ppoll;
#else
    const bool polling = call == SYS_ppoll;
#endif
    if (!polling)
        return false;
    // Copied by the kernel: the thread may have left poll since, and the array be gone.
    std::vector<pollfd> entries(std::min(count, 64UL));
    iovec local { entries.data(), entries.size() * sizeof(pollfd) };
    iovec remote { reinterpret_cast<void*>(fds), local.iov_len };
    if (::process_vm_readv(::getpid(), &local, 1, &remote, 1, 0) != ssize_t(local.iov_len))
        return false;
    return std::ranges::any_of(
        entries, [fd](const pollfd& entry) { return entry.fd == fd && (entry.events & POLLIN); });
}

bool readableNow(int fd)
{
    pollfd readable { fd, POLLIN, 0 };
    return ::poll(&readable, 1, 0) != 0;
}

// The client waits for an answer that only the server can give, and has no request of its own
// pending: it read all that was sent (checked first, so no answer can wake it in between), sits
// in poll on its end and still sent nothing.
bool clientStuck(int fd, pid_t client, int clientFd)
{
    int unread = 0;
    return !readableNow(fd) && ::ioctl(fd, SIOCOUTQ, &unread) == 0 && unread == 0 && pollingOn(client, clientFd)
        && !readableNow(fd);
}

// Plays a stream as a server would: on each request that wants an answer, the stream's next
// messages up to the one that ends the answer to that request's id. After the last byte the
// sending side is shut, so the client sees the end instead of waiting; also when the client
// waits for more than the answer it got (a message it takes for something else, one it drops):
// then it gets the rest of the stream and the end at once, not after its answer timeout.
void serve(int fd, const QList<Message> messages, pid_t client, int clientFd)
{
    qsizetype next = 0;
    bool shut = false;
    const auto sendAll = [fd](const QByteArray& out) {
        for (qsizetype sent = 0; sent < out.size();) {
            const ssize_t written = ::send(fd, out.constData() + sent, size_t(out.size() - sent), MSG_NOSIGNAL);
            if (written < 0 && errno == EINTR)
                continue;
            if (written <= 0)
                break;
            sent += written;
        }
    };
    const auto shutWhenDone = [&] {
        if (!shut && next >= messages.size()) {
            ::shutdown(fd, SHUT_WR);
            shut = true;
        }
    };
    shutWhenDone();
    QByteArray pending;
    int idleMilliseconds = 0;
    for (;;) {
        // Short waits, each followed by a look at the client. The idle limit only guards the fuzzer
        // where the kernel does not show the client's wait.
        pollfd readable { fd, POLLIN, 0 };
        const int ready = ::poll(&readable, 1, 1);
        if (ready == 0) {
            if (!shut && clientStuck(fd, client, clientFd)) {
                QByteArray rest;
                while (next < messages.size())
                    rest += messages.at(next++).bytes;
                sendAll(rest);
                shutWhenDone();
            } else if (++idleMilliseconds > 5000) {
                break;
            }
            continue;
        }
        idleMilliseconds = 0;
        char buffer[65536];
        const ssize_t got = ready < 0 ? -1 : ::recv(fd, buffer, sizeof(buffer), 0);
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
            sendAll(out);
            shutWhenDone();
        }
    }
    ::close(fd);
}

// Hands each connection the session opens the next stream, served on a thread of its own.
class Streams {
public:
    Streams(QList<QByteArray> streams, pid_t client)
        : streams_(std::move(streams))
        , client_(client)
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
        threads_.emplace_back(serve, fds[1], split(streams_.at(next_++)), client_, fds[0]);
        return Connection::openOnSocket(fds[0], uri, user, password, options);
    }

private:
    QList<QByteArray> streams_;
    pid_t client_;
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
    std::exception_ptr failure;
    // On a thread of its own: what the directory layer keeps per thread (the names and values it
    // shares between entries) goes with it. Every input starts alike, and none leaves memory
    // behind that makes libFuzzer ask LeakSanitizer for a search of the whole heap.
    std::thread([&] {
        try {
            // Declared first: the directory's connections close before the servers are joined.
            Streams servers(streams, ::gettid());
            outcome
                = runSession([&servers](const QString& uri,
                                 const directory::ConnectionOptions& options) { return servers.open(uri, options); },
                    flags, { .networkTimeoutSeconds = 2, .answerTimeoutSeconds = 2 });
        } catch (...) {
            failure = std::current_exception();
        }
    }).join();
    if (failure)
        std::rethrow_exception(failure);
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

#ifndef MIVORA_FUZZ_REPLAY
// liblber's allocator, replaced for libldap's calls so that LeakSanitizer's fast unwinding sees
// the libldap function that allocated (lsan-suppressions.txt names one): liblber has no frame
// pointers, and the stacks stopped inside it. As liblber's, less its memory functions, which
// nothing here sets.
extern "C" void* ber_memcalloc_x(ber_len_t count, ber_len_t size, void*)
{
    return count == 0 || size == 0 ? nullptr : std::calloc(count, size);
}
#endif

FUZZ_TARGET(server_answers)
{
    fuzz_server_answers::check(fuzz_server_answers::replay(data, size));
    return 0;
}
