#pragma once

#include <QString>

namespace platform {

// The application directory (the one that holds the executable), without a trailing separator.
// data.ini and the probes' INI file lie there.
QString appPath();

// Tests point the application directory elsewhere; an empty path restores the real one.
void setAppPathForTesting(const QString& path);

} // namespace platform
