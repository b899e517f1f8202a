#pragma once

#include <QString>
#include <cstdint>
#include <stdexcept>

namespace platform {

// A failure as the program reports it: a signed 32-bit number and a Japanese description. The
// directory, the list and the WMI stand-in each throw their own kind; an error trap that shows
// any of them catches this.
class NumberedError : public std::runtime_error {
public:
    NumberedError(int32_t number, QString description)
        : std::runtime_error(description.toStdString())
        , number_(number)
        , description_(std::move(description))
    { }

    int32_t number() const { return number_; }
    const QString& description() const { return description_; }
    // "number CR LF description", the text every error trap shows.
    QString reportText() const { return QString::number(number_) + QStringLiteral("\r\n") + description_; }

private:
    int32_t number_;
    QString description_;
};

} // namespace platform
