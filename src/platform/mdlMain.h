#pragma once

#include <QString>

// The program-wide module: what the main window's openers hand the details window, and the INI
// reader of the probes.
// In platform, the lowest Core library: the details window (UI) and the probes (Core) both reach it.
namespace mdlMain {

// The ADsPath of the object the details window shows. The openers of the main window set it
// before each opening; nothing empties it.
extern QString strObjectPath;

// The value of key in section of the INI file, or "ERROR" when the file, the section or the
// key does not exist; at most 254 bytes of CP932 text, cut at the first NUL. Never fails.
QString GetIniValue(const QString& strKey, const QString& strSection, const QString& strFile);

} // namespace mdlMain
