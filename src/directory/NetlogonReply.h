#pragma once

#include <QByteArrayView>
#include <QString>
#include <optional>

namespace directory {

// A domain controller's answer to an LDAP ping: the Netlogon value of its rootDSE
// (NETLOGON_SAM_LOGON_RESPONSE_EX). Server text: decoded with bounds, never trusted.
struct NetlogonReply {
    // The DS_FLAG bits of `flags`.
    static constexpr quint32 pdcFlag = 0x1;
    static constexpr quint32 globalCatalogFlag = 0x4;
    static constexpr quint32 ldapServerFlag = 0x8;
    static constexpr quint32 domainControllerFlag = 0x10;
    static constexpr quint32 kdcFlag = 0x20;
    static constexpr quint32 timeServerFlag = 0x40;
    static constexpr quint32 closestFlag = 0x80;
    static constexpr quint32 writableFlag = 0x100;
    static constexpr quint32 goodTimeServerFlag = 0x200;
    static constexpr quint32 ndncFlag = 0x400;
    static constexpr quint32 selectSecretDomain6Flag = 0x800;
    static constexpr quint32 fullSecretDomain6Flag = 0x1000;
    static constexpr quint32 webServiceFlag = 0x2000;
    static constexpr quint32 ds8Flag = 0x4000;
    static constexpr quint32 ds9Flag = 0x8000;
    static constexpr quint32 ds10Flag = 0x10000;
    static constexpr quint32 keyListFlag = 0x20000;
    static constexpr quint32 dnsControllerFlag = 0x20000000;
    static constexpr quint32 dnsDomainFlag = 0x40000000;
    static constexpr quint32 dnsForestFlag = 0x80000000;

    quint32 flags = 0;
    QString dnsForestName, dnsDomainName, dnsHostName, netbiosDomainName, netbiosComputerName, userName, dcSiteName,
        clientSiteName;
    bool isLdapServer() const { return flags & ldapServerFlag; }

    // nullopt for anything that is not a well-formed reply of opcode 23 (LOGON_SAM_LOGON_RESPONSE_EX)
    // or 25 (LOGON_SAM_USER_UNKNOWN_EX). Names are dotted; a name whose labels are not UTF-8 or hold
    // a NUL makes the whole reply nullopt. The fields after ClientSiteName are not read.
    static std::optional<NetlogonReply> decode(QByteArrayView bytes);
};

} // namespace directory
