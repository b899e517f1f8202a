#include "probes/DateText.h"

#include <QTimeZone>

namespace probes {

namespace {

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// Reads fixed-width decimal fields from the front of a text.
class Fields {
public:
    explicit Fields(QByteArrayView text)
        : text_(text)
    { }

    bool atDigit() const { return at_ < text_.size() && isDigit(text_[at_]); }
    bool atEnd() const { return at_ == text_.size(); }
    bool take(char c)
    {
        if (at_ < text_.size() && text_[at_] == c) {
            ++at_;
            return true;
        }
        return false;
    }
    std::optional<int> number(int width)
    {
        if (at_ + width > text_.size())
            return std::nullopt;
        int value = 0;
        for (int i = 0; i < width; ++i) {
            const char c = text_[at_ + i];
            if (!isDigit(c))
                return std::nullopt;
            value = value * 10 + (c - '0');
        }
        at_ += width;
        return value;
    }
    // The digits of a fraction, as numerator and power of ten (at most 9 digits count).
    std::optional<std::pair<qint64, qint64>> fraction()
    {
        qint64 numerator = 0;
        qint64 denominator = 1;
        const qsizetype start = at_;
        for (; atDigit(); ++at_) {
            if (denominator < 1'000'000'000) {
                numerator = numerator * 10 + (text_[at_] - '0');
                denominator *= 10;
            }
        }
        if (at_ == start)
            return std::nullopt;
        return std::pair { numerator, denominator };
    }

private:
    QByteArrayView text_;
    qsizetype at_ = 0;
};

} // namespace

std::optional<QDateTime> fromGeneralizedTime(QByteArrayView text)
{
    Fields fields(text);
    const std::optional<int> year = fields.number(4);
    const std::optional<int> month = fields.number(2);
    const std::optional<int> day = fields.number(2);
    const std::optional<int> hour = fields.number(2);
    if (!year || !month || !day || !hour)
        return std::nullopt;
    int minute = 0;
    int second = 0;
    // A fraction is a fraction of the last unit given.
    qint64 unitMs = 3'600'000;
    if (fields.atDigit()) {
        const std::optional<int> minutes = fields.number(2);
        if (!minutes)
            return std::nullopt;
        minute = *minutes;
        unitMs = 60'000;
        if (fields.atDigit()) {
            const std::optional<int> seconds = fields.number(2);
            if (!seconds)
                return std::nullopt;
            second = *seconds;
            unitMs = 1000;
        }
    }
    qint64 fractionMs = 0;
    if (fields.take('.') || fields.take(',')) {
        const auto fraction = fields.fraction();
        if (!fraction)
            return std::nullopt;
        fractionMs = fraction->first * unitMs / fraction->second;
    }
    int offsetSeconds = 0;
    if (!fields.take('Z')) {
        const bool east = fields.take('+');
        if (!east && !fields.take('-'))
            return std::nullopt;
        const std::optional<int> offsetHours = fields.number(2);
        const std::optional<int> offsetMinutes = fields.atDigit() ? fields.number(2) : std::optional(0);
        if (!offsetHours || !offsetMinutes || *offsetHours > 23 || *offsetMinutes > 59)
            return std::nullopt;
        offsetSeconds = (east ? 1 : -1) * (*offsetHours * 3600 + *offsetMinutes * 60);
    }
    if (!fields.atEnd())
        return std::nullopt;
    const QDate date(*year, *month, *day);
    // 60 is a leap second; it is counted on from :59 like any other second.
    if (!date.isValid() || *hour > 23 || minute > 59 || second > 60)
        return std::nullopt;
    return QDateTime(date, QTime(*hour, minute), QTimeZone::utc()).addSecs(second - offsetSeconds).addMSecs(fractionMs);
}

QString dateText(const directory::AttrValue& value)
{
    if (value.form() != directory::AttrValue::Form::Single)
        return value.toString();
    const std::optional<QDateTime> time = fromGeneralizedTime(value.values().constFirst());
    if (!time)
        return value.toString();
    return time->toLocalTime().toString(QStringLiteral("yyyy/MM/dd HH:mm:ss"));
}

} // namespace probes
