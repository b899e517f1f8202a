#pragma once

#include <QString>

namespace directory {

// Active Directory puts a sub-code into the diagnostic of a failed bind ("data 52e"): its
// Japanese meaning, or an empty text when there is none.
QString adBindSubcodeText(const QString& diagnostic);

} // namespace directory
