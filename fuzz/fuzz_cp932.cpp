// CP932 <-> wide text both ways: one character for one character, '?' for what cannot be held,
// and nothing lost, added or cut off on the way.

#include "FuzzSupport.h"

#include "platform/Cp932.h"

#include <QList>
#include <algorithm>

namespace fuzz_cp932 {

using platform::ansiPrefixLength;
using platform::fromAnsi;
using platform::isLeadByte;
using platform::toAnsi;

qsizetype codePoints(const QString& text)
{
    return text.toUcs4().size();
}

void checkText(const QString& text)
{
    const QByteArray ansi = toAnsi(text);
    const qsizetype characters = codePoints(text);
    FUZZ_CHECK(ansi.size() >= characters && ansi.size() <= 2 * characters, fuzzing::show(text.toUtf8()));
    const QString back = fromAnsi(ansi);
    // Every character comes back as itself, its CP932 twin or '?': as many as went in.
    FUZZ_CHECK(codePoints(back) == characters, fuzzing::show(text.toUtf8()) + " -> " + fuzzing::show(ansi));
    FUZZ_CHECK(toAnsi(back) == ansi, fuzzing::show(text.toUtf8()) + " -> " + fuzzing::show(ansi));
    // Plain ASCII is its own CP932.
    bool ascii = true;
    for (QChar c : text)
        ascii = ascii && c.unicode() < 0x80;
    if (ascii)
        FUZZ_CHECK(ansi == text.toLatin1(), fuzzing::show(text.toUtf8()));
}

void checkBytes(const QByteArray& bytes, qsizetype maxBytes)
{
    const QString text = fromAnsi(bytes);
    // One character per valid character or per invalid byte: never more than the bytes.
    FUZZ_CHECK(text.size() <= bytes.size(), fuzzing::show(bytes));
    FUZZ_CHECK(fuzzing::wellFormedUtf16(text), fuzzing::show(bytes));
    const QByteArray again = toAnsi(text);
    FUZZ_CHECK(again.size() <= bytes.size(), fuzzing::show(bytes));
    FUZZ_CHECK(fromAnsi(again) == text, fuzzing::show(bytes) + " -> " + fuzzing::show(again));

    const qsizetype prefix = ansiPrefixLength(bytes, maxBytes);
    FUZZ_CHECK(prefix >= 0 && prefix <= std::max<qsizetype>(0, std::min(maxBytes, bytes.size())), fuzzing::show(bytes));
    // The prefix ends on a character boundary, and no longer one does within the limit.
    qsizetype pos = 0;
    qsizetype lastBoundary = 0;
    while (pos < bytes.size()) {
        const qsizetype step = isLeadByte(static_cast<unsigned char>(bytes[pos])) && pos + 1 < bytes.size() ? 2 : 1;
        if (pos + step > maxBytes)
            break;
        pos += step;
        lastBoundary = pos;
    }
    FUZZ_CHECK(prefix == lastBoundary,
        fuzzing::show(bytes) + " max " + std::to_string(maxBytes) + ": " + std::to_string(prefix) + " not "
            + std::to_string(lastBoundary));
}

} // namespace fuzz_cp932

FUZZ_TARGET(cp932)
{
    fuzzing::Input input(data, size);
    const std::uint8_t mode = input.byte();
    const qsizetype maxBytes = qsizetype(input.byte()) - 2;
    const QByteArray bytes = input.rest();
    switch (mode % 3) {
    case 0:
        fuzz_cp932::checkText(fuzzing::utf16From(bytes));
        break;
    case 1:
        fuzz_cp932::checkText(QString::fromUtf8(bytes));
        break;
    default:
        fuzz_cp932::checkBytes(bytes, maxBytes);
        break;
    }
    return 0;
}
