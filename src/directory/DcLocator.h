#pragma once

// Internal to src/directory: finds a live domain controller of a domain as a domain member does.
// The DCs come from DNS (_ldap._tcp.dc._msdcs.<domain>, else _ldap._tcp.<domain>) and are asked
// with an LDAP ping (an anonymous read of the rootDSE's Netlogon), several at once, a new one
// started while the earlier ones are silent; the first good answer wins. When the answering DC
// is not in the client's site, the site's own DCs are pinged once more. No DC is waited out in
// turn: the whole search ends within the network timeout.

#include "directory/ConnectionOptions.h"
#include "directory/LdapHandles.h"
#include "directory/NetlogonReply.h"

#include <QList>
#include <QString>
#include <chrono>
#include <optional>

namespace directory {

// A server named by a DNS SRV record.
struct SrvTarget {
    QString host;
    int port = 389;
    QString uri() const;
};

struct LocatedDc {
    // ldap://<SRV target>:<port>: the name the Kerberos service ticket is asked for.
    QString uri;
    // The connection that answered the ping, anonymous and idle, for the bind; empty when no
    // SRV record named a DC and the domain's own name is used as it stands.
    ldap::LdapPtr session;
    // What the DC said of itself and of the client; empty for a server that is not a DC.
    std::optional<NetlogonReply> reply;
};

// The pace of a search: a new DC is pinged after `firstWait` and then every `nextWait` while
// none has answered (at once when every ping so far has failed); a round of the client's site
// waits at most `siteWait`.
struct LocatorTimings {
    std::chrono::milliseconds firstWait { 400 };
    std::chrono::milliseconds nextWait { 200 };
    std::chrono::milliseconds siteWait { 1000 };
};

// The SRV targets of `_ldap._tcp.<name>` in priority and weight order; empty when there are none.
QList<SrvTarget> srvTargetsOf(const QString& name);

// One round of LDAP pings over `dcs`, in their order and at the pace of `timings`: the first DC
// whose answer says it serves LDAP for `domain` (with `nonDcAllowed`, also a server that answers
// without a Netlogon value), or nothing when none did within `timeout`. `tried` gets the URI of
// each DC asked.
std::optional<LocatedDc> pingDcs(const QString& domain, const QList<SrvTarget>& dcs, std::chrono::milliseconds timeout,
    const LocatorTimings& timings = {}, bool nonDcAllowed = false, QStringList* tried = nullptr);

// A DC of `domain`, located within options.networkTimeoutSeconds; throws the unreachable-server
// error naming every DC tried when none answered.
LocatedDc locateDc(const QString& domain, const ConnectionOptions& options, const LocatorTimings& timings = {});

} // namespace directory
