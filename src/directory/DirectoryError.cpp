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

QString messageExcerpt(const QString& text, qsizetype maxLength)
{
    if (text.size() <= maxLength)
        return text;
    qsizetype length = maxLength;
    if (length > 0 && text.at(length - 1).isHighSurrogate())
        --length;
    return text.left(length);
}

} // namespace directory
