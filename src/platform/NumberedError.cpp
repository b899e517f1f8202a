#include "platform/NumberedError.h"

namespace platform {

NumberedError::NumberedError(int32_t number, QString description)
    : std::runtime_error(description.toStdString())
    , number_(number)
    , description_(std::move(description))
{ }

QString NumberedError::reportText() const
{
    return QString::number(number_) + QStringLiteral("\r\n") + description_;
}

} // namespace platform
