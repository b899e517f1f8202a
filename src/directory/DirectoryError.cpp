#include "directory/DirectoryError.h"

namespace directory {

DirectoryError::DirectoryError(int32_t number, QString description)
    : std::runtime_error(description.toStdString())
    , number_(number)
    , description_(std::move(description))
{ }

QString DirectoryError::reportText() const
{
    return QString::number(number_) + QStringLiteral("\r\n") + description_;
}

} // namespace directory
