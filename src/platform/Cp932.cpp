#include "platform/Cp932.h"
#include "platform/Testing.h"

#include <QList>
#include <QtEndian>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <iconv.h>
#include <stdexcept>

namespace platform {

namespace {

#if Q_BYTE_ORDER == Q_LITTLE_ENDIAN
const char* const utf32 = "UTF-32LE";
#else
const char* const utf32 = "UTF-32BE";
#endif

bool converterMissing = false;

const iconv_t iconvFailed = reinterpret_cast<iconv_t>(-1); // NOLINT(performance-no-int-to-ptr): iconv's own value

class Iconv {
public:
    Iconv(const char* to, const char* from)
        : handle(converterMissing ? iconvFailed : iconv_open(to, from))
    {
        if (handle == iconvFailed)
            throw std::runtime_error("iconv cannot convert between CP932 and UTF-32");
    }
    ~Iconv() { iconv_close(handle); }
    Iconv(const Iconv&) = delete;
    Iconv& operator=(const Iconv&) = delete;

    // One iconv call; in and out advance past what was converted.
    size_t convert(const char*& in, size_t& inLeft, char*& out, size_t& outLeft)
    {
        return iconv(handle, const_cast<char**>(&in), &inLeft, &out, &outLeft);
    }
    void reset() { iconv(handle, nullptr, nullptr, nullptr, nullptr); }

private:
    iconv_t handle;
};

} // namespace

QByteArray toAnsi(QStringView text)
{
    // UTF-32 input makes "skip one character" a fixed four-byte step; lone surrogates arrive
    // as U+FFFD, which CP932 does not hold, so they become '?' like any other stranger.
    const QList<uint> ucs4 = text.toUcs4();
    QByteArray result;
    if (ucs4.isEmpty())
        return result;
    // CP932 needs at most two bytes a character.
    result.resize(ucs4.size() * 2);
    Iconv cd("CP932", utf32);
    const char* in = reinterpret_cast<const char*>(ucs4.constData());
    size_t inLeft = size_t(ucs4.size()) * 4;
    char* out = result.data();
    auto outLeft = size_t(result.size());
    while (inLeft > 0) {
        if (cd.convert(in, inLeft, out, outLeft) != size_t(-1))
            break;
        if (errno != EILSEQ || outLeft == 0)
            break;
        *out++ = '?';
        --outLeft;
        in += 4;
        inLeft -= 4;
        cd.reset();
    }
    result.truncate(out - result.constData());
    return result;
}

QString fromAnsi(QByteArrayView bytes)
{
    if (bytes.isEmpty())
        return {};
    QList<char32_t> ucs4(bytes.size());
    Iconv cd(utf32, "CP932");
    const char* in = bytes.data();
    auto inLeft = size_t(bytes.size());
    char* out = reinterpret_cast<char*>(ucs4.data());
    size_t outLeft = size_t(ucs4.size()) * 4;
    while (inLeft > 0) {
        if (cd.convert(in, inLeft, out, outLeft) != size_t(-1))
            break;
        // EILSEQ: an invalid byte or pair; EINVAL: a lead byte cut off at the end.
        if ((errno != EILSEQ && errno != EINVAL) || outLeft < 4)
            break;
        const char32_t replacement = u'?';
        std::memcpy(out, &replacement, 4);
        out += 4;
        outLeft -= 4;
        ++in;
        --inLeft;
        cd.reset();
    }
    const auto* first = reinterpret_cast<const char32_t*>(ucs4.constData());
    const auto* last = reinterpret_cast<const char32_t*>(out);
    return QString::fromUcs4(first, last - first);
}

qsizetype ansiPrefixLength(QByteArrayView bytes, qsizetype maxBytes)
{
    qsizetype pos = 0;
    const qsizetype limit = std::min(maxBytes, bytes.size());
    while (pos < limit) {
        const qsizetype step = isLeadByte(static_cast<unsigned char>(bytes[pos])) && pos + 1 < bytes.size() ? 2 : 1;
        if (pos + step > limit)
            break;
        pos += step;
    }
    return pos;
}

namespace testing {
void failConverterOpen(bool fail)
{
    converterMissing = fail;
}
} // namespace testing

} // namespace platform
