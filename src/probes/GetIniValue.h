#pragma once

#include <QString>

// GetIniValue of the program-wide module (the rest of it: details/mdlMain.h), here with the one
// probe that calls it.
namespace mdlMain {

// The value of key in section of the INI file, or "ERROR" when the file, the section or the
// key does not exist; at most 254 bytes of CP932 text, cut at the first NUL. Never fails.
QString GetIniValue(const QString& strKey, const QString& strSection, const QString& strFile);

} // namespace mdlMain
