#include "directory/DirectoryError.h"

namespace directory {

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
