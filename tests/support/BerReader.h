#pragma once

#include <QByteArray>

// A BER element: its tag and where its content lies. Only what LDAP messages use: one-byte
// tags, definite lengths of up to four bytes.
struct BerTlv {
    unsigned char tag = 0;
    qsizetype start = 0;
    qsizetype length = 0;
    qsizetype end() const { return start + length; }
};

// The element at `at`, which must end by `limit`. False when it is cut short there or its
// length takes more than four bytes.
inline bool readTlv(const QByteArray& data, qsizetype at, qsizetype limit, BerTlv& element)
{
    if (at + 2 > limit)
        return false;
    const auto first = static_cast<unsigned char>(data.at(at + 1));
    qsizetype position = at + 2;
    qsizetype length = first;
    if (first & 0x80) {
        const int bytes = first & 0x7f;
        if (bytes == 0 || bytes > 4 || position + bytes > limit)
            return false;
        length = 0;
        for (int i = 0; i < bytes; ++i)
            length = (length << 8) | static_cast<unsigned char>(data.at(position++));
    }
    if (length > limit - position)
        return false;
    element.tag = static_cast<unsigned char>(data.at(at));
    element.start = position;
    element.length = length;
    return true;
}

// The same, as where the content starts and how long it is.
inline bool readTlv(const QByteArray& data, qsizetype at, qsizetype limit, qsizetype& start, qsizetype& length)
{
    BerTlv found;
    if (!readTlv(data, at, limit, found))
        return false;
    start = found.start;
    length = found.length;
    return true;
}
