#pragma once

#include <QString>

// The program-wide module. It lives with the details window, whose load reads it; the main
// window's openers, above, write it. Its GetIniValue is with its one user, the probes
// (probes/GetIniValue.h).
namespace mdlMain {

// The ADsPath of the object the details window shows. The openers of the main window set it
// before each opening; nothing empties it.
extern QString strObjectPath;

} // namespace mdlMain
