// A domain controller's answer to an LDAP ping, any bytes at all: no crash, no read past the
// end, names within RFC 1035's limits, and the same answer whatever follows ClientSiteName.

#include "FuzzSupport.h"

#include "directory/NetlogonReply.h"

#include <QStringList>

namespace fuzz_netlogon_reply {

using directory::NetlogonReply;

QStringList fields(const NetlogonReply& reply)
{
    return { QString::number(reply.flags), reply.dnsForestName, reply.dnsDomainName, reply.dnsHostName,
        reply.netbiosDomainName, reply.netbiosComputerName, reply.userName, reply.dcSiteName, reply.clientSiteName };
}

// `data` is the fuzzer's own buffer, exactly as long as the input: a read past it is reported.
void check(const char* data, qsizetype size)
{
    const QByteArray bytes(data, size);
    const std::optional<NetlogonReply> reply = NetlogonReply::decode(QByteArrayView(data, size));
    const std::optional<NetlogonReply> again = NetlogonReply::decode(bytes);
    FUZZ_CHECK(reply.has_value() == again.has_value(), fuzzing::show(bytes));
    if (!reply)
        return;
    FUZZ_CHECK(fields(*reply) == fields(*again), fuzzing::show(bytes));
    for (const QString& name : fields(*reply).mid(1)) {
        const QByteArray utf8 = name.toUtf8();
        // 255 on the wire: the length octets and the final zero take two more than the dots.
        FUZZ_CHECK(utf8.size() <= 253 && !utf8.contains('\0'), fuzzing::show(bytes) + " gave " + fuzzing::show(utf8));
        for (const QByteArray& label : utf8.split('.'))
            FUZZ_CHECK(label.size() <= 63, fuzzing::show(bytes) + " gave " + fuzzing::show(utf8));
    }
    const std::optional<NetlogonReply> longer = NetlogonReply::decode(bytes + QByteArray(size % 7 + 1, '\xc0'));
    FUZZ_CHECK(longer && fields(*longer) == fields(*reply), fuzzing::show(bytes) + " changed by what follows it");
}

} // namespace fuzz_netlogon_reply

FUZZ_TARGET(netlogon_reply)
{
    fuzz_netlogon_reply::check(reinterpret_cast<const char*>(data), qsizetype(size));
    return 0;
}
