#include "directory/RepeatedTexts.h"

#include <cstring>

namespace directory {

namespace {
bool sameBytes(const QByteArray& known, const char* data, qsizetype size)
{
    return known.size() == size && std::memcmp(known.constData(), data, static_cast<size_t>(size)) == 0;
}
} // namespace

QString RepeatedTexts::lowerName(const char* data, qsizetype size)
{
    for (const Name& name : names_) {
        if (sameBytes(name.raw, data, size))
            return name.lower;
    }
    QString lower = QString::fromUtf8(data, size).toLower();
    // Entries have few attribute names; past the limit they are simply made each time.
    if (names_.size() < maxNames && size <= maxKeptSize)
        names_.push_back({ QByteArray(data, size), lower });
    return lower;
}

bool RepeatedTexts::valuesRepeat(const QString& lowerName)
{
    return lowerName == u"objectclass" || lowerName == u"structuralobjectclass";
}

QByteArray RepeatedTexts::value(const char* data, qsizetype size)
{
    for (const QByteArray& known : values_) {
        if (sameBytes(known, data, size))
            return known;
    }
    QByteArray value(data, size);
    if (size > maxKeptSize)
        return value;
    if (values_.size() < maxValues) {
        values_.push_back(value);
    } else {
        values_[nextValue_] = value;
        nextValue_ = (nextValue_ + 1) % maxValues;
    }
    return value;
}

} // namespace directory
