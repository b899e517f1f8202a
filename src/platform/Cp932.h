#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

namespace platform {

// The ANSI code page of the program: CP932 (Windows-31J), through glibc iconv. A conversion
// throws std::runtime_error when iconv has no CP932 converter (glibc's gconv modules missing).

// Each character CP932 cannot hold becomes one '?'; the conversion always goes on to the end.
QByteArray toAnsi(QStringView text);

// A byte that starts no valid character becomes one '?'.
QString fromAnsi(QByteArrayView bytes);

// True for the first byte of a double-byte character.
constexpr bool isLeadByte(unsigned char byte)
{
    return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

// The length of the longest prefix of bytes that is at most maxBytes long and does not end in
// the first half of a double-byte character.
qsizetype ansiPrefixLength(QByteArrayView bytes, qsizetype maxBytes);

} // namespace platform
