#pragma once

#include <QString>

namespace probes {

// The stand-ins that are given a server to reach.
enum class StandIn { Wmi, WinNt };

// Records a server a stand-in was asked for, before it decides whether it answers: refused ones
// are recorded too, so tests see every server a probe named (probes/Testing.h reads them).
void noteServerAskedFor(StandIn standIn, const QString& server);

} // namespace probes
