#include "directory/NetlogonReply.h"

#include <QStringDecoder>
#include <QtEndian>

namespace directory {

namespace {

constexpr quint16 samLogonResponseEx = 23;
constexpr quint16 samUserUnknownEx = 25;
// Opcode, Sbz, Flags and DomainGuid come first; a compression pointer into them is out of range.
constexpr qsizetype namesStart = 24;
constexpr int maxLabel = 63;
// RFC 1035 counts the whole name as sent: every length octet and the final zero.
constexpr int maxName = 255;
// A name has at most 127 labels; a longer chain of pointers is no name.
constexpr int maxJumps = 127;

std::optional<QString> fromUtf8(QByteArrayView bytes)
{
    // Stateless: a sequence cut at the end is an error too. A leading BOM stays in the text.
    QStringDecoder decoder(
        QStringDecoder::Utf8, QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
    QString text = decoder.decode(bytes);
    if (decoder.hasError())
        return std::nullopt;
    return text;
}

// Reads the RFC 1035 names of a reply one after the other; a pointer is an offset from the
// reply's start.
class NameReader {
public:
    NameReader(QByteArrayView bytes, qsizetype at)
        : bytes_(bytes)
        , at_(at)
    { }

    // The next name, dotted. A pointer must lead before the labels it ends (this name's start or
    // the previous pointer's target): each jump goes further back, so none can loop.
    std::optional<QString> next()
    {
        QByteArray dotted;
        qsizetype at = at_;
        qsizetype segmentStart = at_;
        std::optional<qsizetype> afterPointer;
        int wireLength = 1;
        for (int jumps = 0;;) {
            if (at >= bytes_.size())
                return std::nullopt;
            const auto length = quint8(bytes_[at]);
            if (length == 0)
                break;
            if ((length & 0xC0) == 0xC0) {
                if (at + 1 >= bytes_.size())
                    return std::nullopt;
                const qsizetype target = (length & 0x3F) << 8 | quint8(bytes_[at + 1]);
                if (target < namesStart || target >= segmentStart || ++jumps > maxJumps)
                    return std::nullopt;
                if (!afterPointer)
                    afterPointer = at + 2;
                at = segmentStart = target;
                continue;
            }
            // Over 63, or the reserved label types 0x40 and 0x80.
            if (length > maxLabel)
                return std::nullopt;
            wireLength += 1 + length;
            if (wireLength > maxName || bytes_.size() - at - 1 < length)
                return std::nullopt;
            const QByteArrayView label = bytes_.sliced(at + 1, length);
            // Names end up in C strings (URIs, host names), where a NUL would cut them short.
            if (label.contains('\0'))
                return std::nullopt;
            if (!dotted.isEmpty())
                dotted += '.';
            dotted += label;
            at += 1 + length;
        }
        at_ = afterPointer.value_or(at + 1);
        return fromUtf8(dotted);
    }

private:
    QByteArrayView bytes_;
    qsizetype at_;
};

} // namespace

std::optional<NetlogonReply> NetlogonReply::decode(QByteArrayView bytes)
{
    if (bytes.size() < namesStart)
        return std::nullopt;
    const auto opcode = qFromLittleEndian<quint16>(bytes.data());
    if (opcode != samLogonResponseEx && opcode != samUserUnknownEx)
        return std::nullopt;
    NetlogonReply reply;
    reply.flags = qFromLittleEndian<quint32>(bytes.data() + 4);
    NameReader names(bytes, namesStart);
    for (QString* field : { &reply.dnsForestName, &reply.dnsDomainName, &reply.dnsHostName, &reply.netbiosDomainName,
             &reply.netbiosComputerName, &reply.userName, &reply.dcSiteName, &reply.clientSiteName }) {
        std::optional<QString> name = names.next();
        if (!name)
            return std::nullopt;
        *field = std::move(*name);
    }
    return reply;
}

} // namespace directory
