#pragma once

#include "probes/ServersAskedFor.h"

#include <QStringList>

// What tests may read and reset in the probes layer, all in one place. The program never calls these.
namespace probes::testing {

// Every server the stand-in was asked for in this process, in order, refused ones included.
QStringList serversAskedFor(StandIn standIn);

// Forgets what both stand-ins were asked for.
void clearServersAskedFor();

} // namespace probes::testing
