#include "directory/RangedValues.h"

#include "directory/DirectoryError.h"
#include "directory/LdapErrors.h"

#include <limits>
#include <utility>

namespace directory {

std::optional<ValueRange> parseValueRange(const QString& description)
{
    const QString marker = QStringLiteral(";range=");
    const qsizetype at = description.indexOf(marker, 0, Qt::CaseInsensitive);
    if (at <= 0)
        return std::nullopt;
    const QString bounds = description.mid(at + marker.size());
    const qsizetype dash = bounds.indexOf(u'-');
    if (dash <= 0)
        return std::nullopt;
    ValueRange range;
    range.attribute = description.left(at);
    bool ok = false;
    range.low = bounds.left(dash).toLongLong(&ok);
    if (!ok || range.low < 0)
        return std::nullopt;
    const QString high = bounds.mid(dash + 1);
    if (high != u"*") {
        const qint64 value = high.toLongLong(&ok);
        if (!ok || value < range.low)
            return std::nullopt;
        range.high = value;
    }
    return range;
}

RangedValues::RangedValues(QString attribute, qint64 step)
    : attribute_(std::move(attribute).toLower())
    , step_(step)
{ }

QString RangedValues::firstRequest() const
{
    return step_ > 0 ? rangeRequest(0) : attribute_;
}

QString RangedValues::rangeRequest(qint64 low) const
{
    constexpr qint64 largest = std::numeric_limits<qint64>::max();
    // The server decides low; a step past the largest number asks for everything left.
    const QString high = step_ <= 0   ? QStringLiteral("*")
        : low > largest - (step_ - 1) ? QString::number(largest)
                                      : QString::number(low + (step_ - 1));
    return QStringLiteral("%1;range=%2-%3").arg(attribute_).arg(low).arg(high);
}

void RangedValues::append(const QList<QByteArray>& values)
{
    qint64 bytes = bytes_;
    for (const QByteArray& value : values)
        bytes += value.size();
    if (values_.size() + values.size() > maxValues)
        throw tooMuchError(QStringLiteral("属性 %1 に %2 個を超える値").arg(attribute_).arg(maxValues));
    if (bytes > maxBytes)
        throw tooMuchError(QStringLiteral("属性 %1 に合計 %2 を超える値").arg(attribute_, megabytes(maxBytes)));
    bytes_ = bytes;
    values_.append(values);
}

std::optional<QString> RangedValues::take(const DirObject::Attributes& attributes)
{
    const auto plain = attributes.constFind(attribute_);
    if (plain != attributes.constEnd()) {
        append(*plain);
        return std::nullopt;
    }
    for (auto it = attributes.constBegin(); it != attributes.constEnd(); ++it) {
        const std::optional<ValueRange> range = parseValueRange(it.key());
        if (!range || range->attribute.toLower() != attribute_)
            continue;
        if (range->low != next_) {
            throw DirectoryError(hresult::Fail,
                QStringLiteral("属性 %1 の値の範囲が連続していません (%2 番目から受信)。")
                    .arg(attribute_)
                    .arg(range->low));
        }
        append(*it);
        if (!range->high)
            return std::nullopt;
        // A range without values asks again without end; so does one that never ends.
        if (it->isEmpty() || ++ranges_ >= maxRanges) {
            throw DirectoryError(hresult::Fail,
                QStringLiteral("属性 %1 の値の範囲が終わりません (%2 番目まで受信)。")
                    .arg(attribute_)
                    .arg(*range->high));
        }
        // A range that ends at the largest number has no next one: the server's word is bad.
        if (*range->high == std::numeric_limits<qint64>::max()) {
            throw DirectoryError(hresult::Fail,
                QStringLiteral("属性 %1 の値の範囲が正しくありません (%2 番目まで受信)。")
                    .arg(attribute_)
                    .arg(*range->high));
        }
        next_ = *range->high + 1;
        return rangeRequest(next_);
    }
    // Neither form: the attribute is not set, or the previous range was already the last one.
    return std::nullopt;
}

} // namespace directory
