#include "probes/ServersAskedFor.h"

#include "probes/Testing.h"

#include <array>

namespace probes {

namespace {
std::array<QStringList, 2>& askedFor()
{
    static std::array<QStringList, 2> servers;
    return servers;
}
} // namespace

void noteServerAskedFor(StandIn standIn, const QString& server)
{
    askedFor().at(static_cast<std::size_t>(standIn)).append(server);
}

namespace testing {

QStringList serversAskedFor(StandIn standIn)
{
    return askedFor().at(static_cast<std::size_t>(standIn));
}

void clearServersAskedFor()
{
    for (QStringList& servers : askedFor())
        servers.clear();
}

} // namespace testing

} // namespace probes
