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

// What the test servers read of an LDAP request: the message id, the operation's tag, and of a
// bind its name and authentication, of a search its base and scope.
struct LdapRequestParts {
    int id = 0;
    int operation = 0; // 0x60 bind, 0x63 search, 0x42 unbind, 0x50 abandon, 0x77 extended, ...
    QByteArray dn; // bind: the name; search: the base
    BerTlv authentication; // bind: 0x80 the simple password, 0xA3 the SASL mechanism and credentials
    int scope = -1; // search: 0 base, 1 one level, 2 subtree
};

// The request `message` (an element of `data`). False when its envelope, a bind's name and
// authentication or a search's base do not decode.
inline bool readLdapRequest(const QByteArray& data, const BerTlv& message, LdapRequestParts& parts)
{
    BerTlv id;
    BerTlv op;
    // A message id is at most 2^31 - 1: four bytes.
    if (message.tag != 0x30 || !readTlv(data, message.start, message.end(), id) || id.tag != 0x02 || id.length > 4
        || !readTlv(data, id.end(), message.end(), op))
        return false;
    quint32 value = 0;
    for (qsizetype i = id.start; i < id.end(); ++i)
        value = (value << 8) | static_cast<unsigned char>(data.at(i));
    parts.id = static_cast<int>(value);
    parts.operation = op.tag;
    if (op.tag != 0x60 && op.tag != 0x63)
        return true;
    BerTlv first; // bind: the version; search: the base
    BerTlv second; // bind: the name; search: the scope
    if (!readTlv(data, op.start, op.end(), first))
        return false;
    const bool hasSecond = readTlv(data, first.end(), op.end(), second);
    if (op.tag == 0x63) {
        parts.dn = data.mid(first.start, first.length);
        if (hasSecond && second.length == 1)
            parts.scope = static_cast<unsigned char>(data.at(second.start));
        return true;
    }
    parts.dn = data.mid(second.start, second.length);
    return hasSecond && readTlv(data, second.end(), op.end(), parts.authentication);
}
