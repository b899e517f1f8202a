#pragma once

#include <QString>

namespace platform {

// Where data.ini and the probes' INI file lie. A copy run from its build folder, or from any
// folder it was copied to, keeps them beside its executable. The installed program (built as
// `mivora` by the install rules) keeps them per user in $XDG_CONFIG_HOME/mivora, so that it never
// writes under its installation prefix, also when run as root.
enum class SettingsLocation { BesideExecutable, UserConfig };
void setSettingsLocation(SettingsLocation location);
SettingsLocation settingsLocation();

// The folder of the settings files, without a trailing separator. In the per-user location it is
// created (0700, and its missing parents too) when it does not exist yet; when that fails the
// path is returned all the same and the write that follows is refused like any other.
QString appPath();

// $XDG_CONFIG_HOME/mivora, or ~/.config/mivora when the variable is unset, empty or relative.
QString userSettingsFolder();

} // namespace platform
