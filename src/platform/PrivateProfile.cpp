#include "platform/PrivateProfile.h"

#include "platform/AtomicFile.h"
#include "platform/Cp932.h"

#include <QByteArray>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QSysInfo>
#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <new>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace platform {

namespace {

constexpr qint64 maxProfileSize = qint64(64) * 1024 * 1024;

struct Line {
    qsizetype start;
    qsizetype contentEnd; // before the CR LF or LF
    qsizetype end; // after it
    bool terminated() const { return end > contentEnd; }
};

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r';
}

// No trail byte is a blank, so trimming bytes never cuts a character.
QByteArrayView trimmed(QByteArrayView text)
{
    qsizetype first = 0;
    qsizetype last = text.size();
    while (first < last && isBlank(text[first]))
        ++first;
    while (last > first && isBlank(text[last - 1]))
        --last;
    return text.sliced(first, last - first);
}

// The position of the single-byte character c, stepping over double-byte characters: a trail
// byte can look like ']' or '\\'.
qsizetype findByte(QByteArrayView text, char c)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (isLeadByte(byte)) {
            ++i;
            continue;
        }
        if (text[i] == c)
            return i;
    }
    return -1;
}

char foldAscii(char c)
{
    return c >= 'a' && c <= 'z' ? char(c - 'a' + 'A') : c;
}

// ASCII letters match in either case; the bytes of double-byte characters must match exactly.
bool sameName(QByteArrayView a, QByteArrayView b)
{
    if (a.size() != b.size())
        return false;
    for (qsizetype i = 0; i < a.size(); ++i) {
        if (isLeadByte(static_cast<unsigned char>(a[i]))) {
            if (a[i] != b[i] || (i + 1 < a.size() && a[i + 1] != b[i + 1]))
                return false;
            ++i;
            continue;
        }
        if (foldAscii(a[i]) != foldAscii(b[i]))
            return false;
    }
    return true;
}

std::optional<QByteArrayView> sectionName(QByteArrayView line)
{
    const QByteArrayView text = trimmed(line);
    if (!text.startsWith('['))
        return std::nullopt;
    const qsizetype close = findByte(text.sliced(1), ']');
    if (close < 0)
        return std::nullopt;
    return trimmed(text.sliced(1, close));
}

struct KeyLine {
    QByteArrayView key;
    QByteArrayView value;
};

std::optional<KeyLine> keyLine(QByteArrayView line)
{
    const qsizetype eq = findByte(line, '=');
    if (eq < 0)
        return std::nullopt;
    return KeyLine { trimmed(line.first(eq)), trimmed(line.sliced(eq + 1)) };
}

// A loaded profile, read through its lines as they are needed: a table of them would cost many
// times the file's own size.
class Profile {
public:
    explicit Profile(const QByteArray& bytes)
        : data(bytes)
    { }

    // The line that begins at start, a position before the end.
    Line line(qsizetype start) const
    {
        const qsizetype nl = data.indexOf('\n', start);
        const qsizetype end = nl < 0 ? data.size() : nl + 1;
        qsizetype contentEnd = nl < 0 ? data.size() : nl;
        if (nl >= 0 && contentEnd > start && data[contentEnd - 1] == '\r')
            --contentEnd;
        return { start, contentEnd, end };
    }

    QByteArrayView text(const Line& l) const { return QByteArrayView(data).sliced(l.start, l.contentEnd - l.start); }

    // The first section header at or after start, a line's start. Only a line whose first
    // non-blank is '[' can be one, and memchr finds those however many other lines there are.
    std::optional<Line> nextHeader(qsizetype start) const
    {
        for (qsizetype at = start; at < data.size();) {
            const qsizetype bracket = data.indexOf('[', at);
            if (bracket < 0)
                break;
            const Line l = line(data.lastIndexOf('\n', bracket) + 1);
            if (sectionName(text(l)))
                return l;
            at = l.end;
        }
        return std::nullopt;
    }

    // The header line of the first section of that name.
    std::optional<Line> findSection(QByteArrayView name) const
    {
        for (auto header = nextHeader(0); header; header = nextHeader(header->end)) {
            const auto found = sectionName(text(*header));
            if (found && sameName(*found, name))
                return header;
        }
        return std::nullopt;
    }

    // Where the section whose header is given ends: the next header's start or the end.
    qsizetype sectionEnd(const Line& header) const
    {
        const auto next = nextHeader(header.end);
        return next ? next->start : data.size();
    }

    std::optional<Line> findKey(const Line& header, QByteArrayView key) const
    {
        const qsizetype end = sectionEnd(header);
        for (qsizetype at = header.end; at < end;) {
            const Line l = line(at);
            const auto found = keyLine(text(l));
            if (found && sameName(found->key, key))
                return l;
            at = l.end;
        }
        return std::nullopt;
    }

    const QByteArray& data;
};

// The bytes [from, to) of a profile replaced by insert.
struct Splice {
    qsizetype from;
    qsizetype to;
    QByteArray insert;
};

// What WritePrivateProfileStringA changes in data; nothing when it changes nothing.
std::optional<Splice> spliceFor(const QByteArray& data, const char* section, const char* key, const char* value)
{
    const Profile profile(data);
    const auto header = profile.findSection(section);
    if (key == nullptr) {
        if (!header)
            return std::nullopt;
        return Splice { header->start, profile.sectionEnd(*header), {} };
    }
    if (!header) {
        if (value == nullptr)
            return std::nullopt;
        QByteArray insert;
        if (!data.isEmpty() && !data.endsWith('\n'))
            insert += "\r\n";
        insert += '[' + QByteArray(section) + "]\r\n" + QByteArray(key) + '=' + QByteArray(value) + "\r\n";
        return Splice { data.size(), data.size(), insert };
    }
    if (const auto at = profile.findKey(*header, key)) {
        if (value == nullptr)
            return Splice { at->start, at->end, {} };
        // The file's own spelling of the key stays.
        const auto line = keyLine(profile.text(*at));
        const QByteArray spelling = line ? line->key.toByteArray() : QByteArray(key);
        return Splice { at->start, at->contentEnd, spelling + '=' + QByteArray(value) };
    }
    if (value == nullptr)
        return std::nullopt;
    // After the section's last non-blank line, so blank lines before the next section stay there.
    Line after = *header;
    const qsizetype end = profile.sectionEnd(*header);
    for (qsizetype at = header->end; at < end;) {
        const Line l = profile.line(at);
        if (!trimmed(profile.text(l)).isEmpty())
            after = l;
        at = l.end;
    }
    QByteArray insert;
    if (!after.terminated())
        insert += "\r\n";
    insert += QByteArray(key) + '=' + QByteArray(value) + "\r\n";
    return Splice { after.end, after.end, insert };
}

enum class Load { Loaded, Missing, Unreadable };

// The whole file into one buffer of its size; a file that grows meanwhile is read on up to the
// largest size.
bool readWhole(int fd, qsizetype size, QByteArray& bytes)
{
    // One byte more tells a file that grew.
    bytes = QByteArray(size + 1, Qt::Uninitialized);
    qsizetype got = 0;
    for (;;) {
        if (got == bytes.size()) {
            if (got > maxProfileSize)
                return false;
            bytes.resize(std::min(maxProfileSize + 1, 2 * got));
        }
        const ssize_t n = ::read(fd, bytes.data() + got, std::size_t(bytes.size() - got));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return false;
        if (n == 0)
            break;
        got += n;
    }
    bytes.truncate(got);
    return true;
}

// Read only when it is a regular file, found so on the descriptor opened without blocking: a
// FIFO would wait for a writer, a device may never end.
Load loadProfile(const char* fileName, QByteArray& bytes)
{
    bytes.clear();
    const int fd = ::open(fileName, O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return errno == ENOENT ? Load::Missing : Load::Unreadable;
    struct stat info { };
    bool read = false;
    try {
        read = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size <= maxProfileSize
            && readWhole(fd, qsizetype(info.st_size), bytes);
    } catch (const std::bad_alloc&) {
        bytes = QByteArray();
    }
    ::close(fd);
    if (!read)
        bytes.clear();
    return read ? Load::Loaded : Load::Unreadable;
}

QByteArray withoutTrailingBlanks(const char* text)
{
    QByteArrayView view(text);
    while (!view.isEmpty() && isBlank(view.back()))
        view.chop(1);
    return view.toByteArray();
}

QByteArrayView unquoted(QByteArrayView value)
{
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
        return value.sliced(1, value.size() - 2);
    return value;
}

} // namespace

struct ProfileBatch::State {
    QByteArray fileName;
    Load load = Load::Missing;
    QByteArray data;
    bool changed = false;
    std::optional<QLockFile> lock;
    QDateTime killedSaveBegan;
    State* outer = nullptr;
};

namespace {

thread_local ProfileBatch::State* currentBatch = nullptr;

ProfileBatch::State* batchFor(const char* fileName)
{
    return currentBatch != nullptr && currentBatch->fileName == fileName ? currentBatch : nullptr;
}

// Long enough for another copy to write a 64 MiB file out and sync it.
constexpr int lockWaitMs = 10'000;

} // namespace

ProfileBatch::ProfileBatch(const char* fileName, Purpose purpose)
    : state_(std::make_unique<State>())
{
    state_->fileName = fileName;
    if (purpose == Saving) {
        const QString lockName = QFile::decodeName(fileName) + QStringLiteral(".lock");
        QLockFile& lock = state_->lock.emplace(lockName);
        // A lock whose process is gone from this machine is a killed save's, and QLockFile takes
        // it over. One held past the wait belongs to a copy that hangs: this save goes ahead
        // without it, still one whole replacement.
        qint64 pid = 0;
        QString host;
        const bool killed = lock.getLockInfo(&pid, &host, nullptr) && host == QSysInfo::machineHostName() && pid > 0
            && ::kill(pid_t(pid), 0) != 0 && errno == ESRCH;
        const QDateTime killedSaveBegan = killed ? QFileInfo(lockName).lastModified() : QDateTime();
        if (lock.tryLock(lockWaitMs))
            state_->killedSaveBegan = killedSaveBegan;
        else
            state_->lock.reset();
    }
    state_->load = loadProfile(fileName, state_->data);
    state_->outer = std::exchange(currentBatch, state_.get());
}

ProfileBatch::~ProfileBatch()
{
    currentBatch = state_->outer;
}

bool ProfileBatch::commit()
{
    if (!state_->changed)
        return state_->load != Load::Unreadable;
    state_->changed = false;
    const QString path = QFile::decodeName(state_->fileName);
    // Under the lock no other save runs: a temporary file written since a killed save began is its.
    if (state_->killedSaveBegan.isValid())
        removeLeftoverSaves(path, state_->killedSaveBegan);
    return writeFileAtomically(path, state_->data);
}

std::uint32_t GetPrivateProfileStringA(const char* section, const char* key, const char* defaultValue, char* buffer,
    std::uint32_t size, const char* fileName)
{
    if (buffer == nullptr || size == 0)
        return 0;
    // The original drops trailing blanks of the default.
    QByteArray result = withoutTrailingBlanks(defaultValue != nullptr ? defaultValue : "");
    if (section != nullptr && key != nullptr && fileName != nullptr) {
        const ProfileBatch::State* batch = batchFor(fileName);
        QByteArray bytes;
        const Load load = batch != nullptr ? batch->load : loadProfile(fileName, bytes);
        const Profile profile(batch != nullptr ? batch->data : bytes);
        const auto header = load != Load::Unreadable ? profile.findSection(section) : std::nullopt;
        const auto at = header ? profile.findKey(*header, key) : std::nullopt;
        if (at)
            result = unquoted(keyLine(profile.text(*at))->value).toByteArray();
    }
    const qsizetype copied = ansiPrefixLength(result, qsizetype(size) - 1);
    std::memcpy(buffer, result.constData(), size_t(copied));
    buffer[copied] = '\0';
    return std::uint32_t(copied);
}

bool WritePrivateProfileStringA(const char* section, const char* key, const char* value, const char* fileName)
{
    if (section == nullptr || fileName == nullptr)
        return false;
    ProfileBatch::State* batch = batchFor(fileName);
    QByteArray bytes;
    if ((batch != nullptr ? batch->load : loadProfile(fileName, bytes)) == Load::Unreadable)
        return false;
    QByteArray& data = batch != nullptr ? batch->data : bytes;
    const auto change = spliceFor(data, section, key, value);
    if (!change)
        return true;
    // Grown where it lies first: past its capacity, QByteArray's insert copies it to a new buffer.
    data.reserve(data.size() - (change->to - change->from) + change->insert.size());
    data.replace(change->from, change->to - change->from, change->insert);
    if (batch != nullptr) {
        batch->changed = true;
        return true;
    }
    return writeFileAtomically(QFile::decodeName(fileName), data);
}

} // namespace platform
