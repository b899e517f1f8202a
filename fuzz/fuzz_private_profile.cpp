// GetPrivateProfileStringA over any file bytes, and WritePrivateProfileStringA on top of them:
// the read stays inside its buffer and never ends in half a character; what is written reads
// back as written, and a key elsewhere reads as it did before.

#include "FuzzSupport.h"

#include "platform/Cp932.h"
#include "platform/PrivateProfile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cstring>
#include <memory>
#include <vector>

namespace fuzz_private_profile {

using platform::GetPrivateProfileStringA;
using platform::WritePrivateProfileStringA;

// A folder of the process's own, named unpredictably and 0700 (QTemporaryDir, removed at exit): the
// fuzzer runs as root in CI, and a fixed name in a shared folder could be a link planted there.
// On tmpfs where there is one: the atomic write's fsync costs nothing there.
const QString& profileDir()
{
    static const QTemporaryDir folder([] {
        const QString base = QDir(QStringLiteral("/dev/shm")).exists() ? QStringLiteral("/dev/shm") : QDir::tempPath();
        return base + QStringLiteral("/mivora-fuzz-profile-XXXXXX");
    }());
    static const QString dir = folder.isValid() ? folder.path() : QString();
    if (dir.isEmpty())
        fuzzing::fail("no private folder for the profile: " + folder.errorString().toStdString());
    return dir;
}

void removeProfileDir()
{
    QDir(profileDir()).removeRecursively();
}

const QByteArray& profilePath()
{
    static const QByteArray path = QFile::encodeName(profileDir() + QStringLiteral("/profile.ini"));
    return path;
}

bool writeFile(const QByteArray& bytes)
{
    QFile file(QFile::decodeName(profilePath()));
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

QByteArray read(const QByteArray& section, const QByteArray& key, std::uint32_t size, const char* fallback = "")
{
    // Exactly size bytes: AddressSanitizer sees a write past the end.
    std::vector<char> buffer(size);
    const std::uint32_t copied = GetPrivateProfileStringA(
        section.constData(), key.constData(), fallback, buffer.data(), size, profilePath().constData());
    if (size == 0) {
        FUZZ_CHECK(copied == 0, "size 0");
        return {};
    }
    FUZZ_CHECK(copied < size, "copied " + std::to_string(copied) + " of " + std::to_string(size));
    FUZZ_CHECK(buffer[copied] == '\0', "no NUL after the value");
    const QByteArray value(buffer.data(), qsizetype(copied));
    FUZZ_CHECK(platform::ansiPrefixLength(value, value.size()) == value.size(), "ends in half a character");
    return value;
}

// Names a program writes: CP932 text without the characters that structure the file.
bool cleanName(const QString& name)
{
    if (name.isEmpty() || name.startsWith(u'[') || name.front().isSpace() || name.back().isSpace())
        return false;
    for (QChar c : name) {
        if (c == u'[' || c == u']' || c == u'=' || c == u'\r' || c == u'\n' || c == u'\0' || c == u'\t')
            return false;
    }
    return true;
}

bool cleanValue(const QString& value)
{
    if (value.contains(u'\r') || value.contains(u'\n') || value.contains(u'\0'))
        return false;
    if (!value.isEmpty()
        && (value.front() == u' ' || value.front() == u'\t' || value.back() == u' ' || value.back() == u'\t'))
        return false;
    if (value.size() >= 2 && (value.front() == u'"' || value.front() == u'\'') && value.back() == value.front())
        return false;
    return true;
}

bool sameAsciiName(const QByteArray& a, const QByteArray& b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

void check(const QByteArray& section, const QByteArray& key, const QByteArray& value, const QByteArray& file,
    std::uint32_t size)
{
    FUZZ_CHECK(writeFile(file), "cannot write the file");
    read(section, key, size, "default  ");
    read(section, key, 255);

    const QString sectionText = QString::fromUtf8(section);
    const QString keyText = QString::fromUtf8(key);
    const QString valueText = QString::fromUtf8(value);
    if (!cleanName(sectionText) || !cleanName(keyText) || !cleanValue(valueText))
        return;
    const QByteArray s = platform::toAnsi(sectionText);
    const QByteArray k = platform::toAnsi(keyText);
    const QByteArray v = platform::toAnsi(valueText);
    // toAnsi may turn a character into '?' or a blank-looking byte; the names must stay clean.
    if (!cleanName(platform::fromAnsi(s)) || !cleanName(platform::fromAnsi(k)) || !cleanValue(platform::fromAnsi(v)))
        return;

    const QByteArray otherSection = "Data";
    const QByteArray otherKey = "DOMAIN";
    const QByteArray otherBefore = read(otherSection, otherKey, 5000, "none");

    FUZZ_CHECK(WritePrivateProfileStringA(s.constData(), k.constData(), v.constData(), profilePath().constData()),
        "write refused");
    const QByteArray got = read(s, k, 5000, "none");
    FUZZ_CHECK(got == v,
        "[" + fuzzing::show(s) + "] " + fuzzing::show(k) + "=" + fuzzing::show(v) + " read back as "
            + fuzzing::show(got) + " from " + fuzzing::show(file));
    if (!(sameAsciiName(s, otherSection) && sameAsciiName(k, otherKey))) {
        const QByteArray otherAfter = read(otherSection, otherKey, 5000, "none");
        FUZZ_CHECK(otherAfter == otherBefore,
            "writing [" + fuzzing::show(s) + "] " + fuzzing::show(k) + " changed DOMAIN from "
                + fuzzing::show(otherBefore) + " to " + fuzzing::show(otherAfter) + " in " + fuzzing::show(file));
    }
}

} // namespace fuzz_private_profile

FUZZ_TARGET(private_profile)
{
    fuzzing::Input input(data, size);
    const std::uint32_t bufferSize = input.byte();
    const QByteArray section = input.until('\x01');
    const QByteArray key = input.until('\x01');
    const QByteArray value = input.until('\x01');
    const QByteArray file = input.rest();
    fuzz_private_profile::check(section, key, value, file, bufferSize);
    return 0;
}
