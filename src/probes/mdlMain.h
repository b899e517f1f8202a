#pragma once

#include <QString>

// The program-wide module.
namespace mdlMain {

// The ADsPath of the object the details window shows. The openers of the main window set it
// before each opening; nothing empties it.
extern QString strObjectPath;

} // namespace mdlMain
