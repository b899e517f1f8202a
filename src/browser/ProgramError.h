#pragma once

#include "platform/NumberedError.h"

#include <cstdint>

namespace browser {

// Error numbers of the window toolkit for failures that are not directory calls.
namespace errnum {
constexpr int32_t BadFileName = 52;
constexpr int32_t DeviceIo = 57;
constexpr int32_t DiskFull = 61;
constexpr int32_t TooManyFiles = 67;
constexpr int32_t PermissionDenied = 70;
constexpr int32_t PathFileAccess = 75;
constexpr int32_t PathNotFound = 76;
constexpr int32_t ObjectNotSet = 91;
constexpr int32_t ElementNotFound = 35601;
constexpr int32_t KeyNotUnique = 35602;
} // namespace errnum

// A failure of the tree, the list or the export file inside ListObjects: caught by the same
// error trap as a directory failure and shown the same way.
class ProgramError : public platform::NumberedError {
public:
    using NumberedError::NumberedError;
};

// The error for a failed file call, from its errno.
ProgramError fileError(int posixError);

} // namespace browser
