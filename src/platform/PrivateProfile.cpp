#include "platform/PrivateProfile.h"

#include "platform/AtomicFile.h"
#include "platform/Cp932.h"

#include <QByteArray>
#include <QFile>
#include <cstring>
#include <optional>
#include <vector>

namespace platform {

namespace {

constexpr qint64 maxProfileSize = qint64(64) * 1024 * 1024;

struct Line {
    qsizetype start;
    qsizetype contentEnd; // before the CR LF or LF
    qsizetype end; // after it
    bool terminated() const { return end > contentEnd; }
};

std::vector<Line> splitLines(const QByteArray& data)
{
    std::vector<Line> lines;
    qsizetype start = 0;
    while (start < data.size()) {
        const qsizetype nl = data.indexOf('\n', start);
        const qsizetype end = nl < 0 ? data.size() : nl + 1;
        qsizetype contentEnd = nl < 0 ? data.size() : nl;
        if (nl >= 0 && contentEnd > start && data[contentEnd - 1] == '\r')
            --contentEnd;
        lines.push_back({ start, contentEnd, end });
        start = end;
    }
    return lines;
}

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

// A loaded profile: its bytes, their lines, and where one section lies in them.
class Profile {
public:
    explicit Profile(QByteArray bytes)
        : data(std::move(bytes))
        , lines(splitLines(data))
    { }

    QByteArrayView line(std::size_t i) const
    {
        const Line& l = lines[i];
        return QByteArrayView(data).sliced(l.start, l.contentEnd - l.start);
    }

    // The header line of the first section of that name, or -1.
    qsizetype findSection(QByteArrayView name) const
    {
        for (std::size_t i = 0; i < lines.size(); ++i) {
            const auto found = sectionName(line(i));
            if (found && sameName(*found, name))
                return qsizetype(i);
        }
        return -1;
    }

    // One past the last line of the section whose header is at header.
    std::size_t sectionEnd(qsizetype header) const
    {
        std::size_t i = std::size_t(header) + 1;
        while (i < lines.size() && !sectionName(line(i)))
            ++i;
        return i;
    }

    qsizetype findKey(qsizetype header, QByteArrayView key) const
    {
        const std::size_t end = sectionEnd(header);
        for (std::size_t i = std::size_t(header) + 1; i < end; ++i) {
            const auto found = keyLine(line(i));
            if (found && sameName(found->key, key))
                return qsizetype(i);
        }
        return -1;
    }

    QByteArray data;
    std::vector<Line> lines;
};

enum class Load { Loaded, Missing, Unreadable };

Load loadProfile(const char* fileName, QByteArray& bytes)
{
    QFile file(QFile::decodeName(fileName));
    if (!file.exists())
        return Load::Missing;
    if (!file.open(QIODevice::ReadOnly) || file.size() > maxProfileSize)
        return Load::Unreadable;
    // In pieces: read(maxProfileSize + 1) would allocate the whole 64 MiB for every read, and
    // size() says nothing for a device that keeps giving bytes.
    bytes.clear();
    while (bytes.size() <= maxProfileSize) {
        const QByteArray piece = file.read(qint64(16) * 1024);
        if (piece.isEmpty())
            break;
        bytes += piece;
    }
    if (bytes.size() > maxProfileSize || file.error() != QFileDevice::NoError)
        return Load::Unreadable;
    return Load::Loaded;
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

std::uint32_t GetPrivateProfileStringA(const char* section, const char* key, const char* defaultValue, char* buffer,
    std::uint32_t size, const char* fileName)
{
    if (buffer == nullptr || size == 0)
        return 0;
    // The original drops trailing blanks of the default.
    QByteArray result = withoutTrailingBlanks(defaultValue != nullptr ? defaultValue : "");
    QByteArray bytes;
    if (section != nullptr && key != nullptr && fileName != nullptr && loadProfile(fileName, bytes) == Load::Loaded) {
        const Profile profile(std::move(bytes));
        const qsizetype header = profile.findSection(section);
        const qsizetype at = header < 0 ? -1 : profile.findKey(header, key);
        const auto found = at < 0 ? std::nullopt : keyLine(profile.line(std::size_t(at)));
        if (found)
            result = unquoted(found->value).toByteArray();
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
    QByteArray bytes;
    if (loadProfile(fileName, bytes) == Load::Unreadable)
        return false;
    const Profile profile(std::move(bytes));
    const QByteArray& data = profile.data;

    // Every change is one splice: the bytes [from, to) are replaced by insert.
    qsizetype from = data.size();
    qsizetype to = data.size();
    QByteArray insert;
    const qsizetype header = profile.findSection(section);
    if (key == nullptr) {
        if (header < 0)
            return true;
        const std::size_t end = profile.sectionEnd(header);
        from = profile.lines[std::size_t(header)].start;
        to = end < profile.lines.size() ? profile.lines[end].start : data.size();
    } else if (header < 0) {
        if (value == nullptr)
            return true;
        if (!data.isEmpty() && !data.endsWith('\n'))
            insert += "\r\n";
        insert += '[' + QByteArray(section) + "]\r\n" + QByteArray(key) + '=' + QByteArray(value) + "\r\n";
    } else if (const qsizetype at = profile.findKey(header, key); at >= 0) {
        const Line& line = profile.lines[std::size_t(at)];
        from = line.start;
        if (value == nullptr) {
            to = line.end;
        } else {
            // The file's own spelling of the key stays.
            to = line.contentEnd;
            insert = keyLine(profile.line(std::size_t(at)))->key.toByteArray() + '=' + QByteArray(value);
        }
    } else {
        if (value == nullptr)
            return true;
        // After the section's last non-blank line, so blank lines before the next section stay there.
        auto after = std::size_t(header);
        const std::size_t end = profile.sectionEnd(header);
        for (std::size_t i = after + 1; i < end; ++i) {
            if (!trimmed(profile.line(i)).isEmpty())
                after = i;
        }
        const Line& line = profile.lines[after];
        from = to = line.end;
        if (!line.terminated())
            insert += "\r\n";
        insert += QByteArray(key) + '=' + QByteArray(value) + "\r\n";
    }

    QByteArray next;
    next.reserve(data.size() - (to - from) + insert.size());
    next.append(QByteArrayView(data).first(from));
    next.append(insert);
    next.append(QByteArrayView(data).sliced(to));
    return writeFileAtomically(QFile::decodeName(fileName), next);
}

} // namespace platform
