#pragma once

#include <QString>

// What tests may change in the platform layer, all in one place. The program never calls these.
namespace platform::testing {

// Points the settings folder (appPath) elsewhere; an empty path restores the real one.
void setAppPath(const QString& path);

// Makes every CP932 conversion fail as if iconv had no CP932 converter (true), or work again (false).
void failConverterOpen(bool fail);

} // namespace platform::testing
