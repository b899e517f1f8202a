#pragma once

#include "platform/NumberedError.h"

#include <QString>
#include <cstdint>

namespace directory {

// HRESULT numbers the original platform reports for directory failures.
namespace hresult {
constexpr int32_t BadPathName = static_cast<int32_t>(0x80005000);
constexpr int32_t NoSuchObject = static_cast<int32_t>(0x80072030);
constexpr int32_t InvalidDnSyntax = static_cast<int32_t>(0x80072032);
constexpr int32_t ServerDown = static_cast<int32_t>(0x8007203A);
constexpr int32_t LogonFailure = static_cast<int32_t>(0x8007052E);
constexpr int32_t AccessDenied = static_cast<int32_t>(0x80070005);
constexpr int32_t OutOfMemory = static_cast<int32_t>(0x8007000E);
constexpr int32_t Fail = static_cast<int32_t>(0x80004005);
} // namespace hresult

// The one error type of the directory layer: a signed 32-bit number and a Japanese description.
class DirectoryError : public platform::NumberedError {
public:
    using NumberedError::NumberedError;
};

// At most maxLength UTF-16 units of text for a message, never ending in half a surrogate pair.
QString messageExcerpt(const QString& text, qsizetype maxLength);

} // namespace directory
