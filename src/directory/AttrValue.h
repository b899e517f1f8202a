#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

namespace directory {

// A named attribute read: empty (not set), a single value, or an array of two or more values.
// Values stay raw bytes (they may be binary); text is UTF-8 decoded on request.
class AttrValue {
public:
    enum class Form { Empty, Single, Array };

    AttrValue() = default;
    explicit AttrValue(QList<QByteArray> values)
        : values_(std::move(values))
    { }
    static AttrValue fromStrings(const QStringList& texts);
    // A server's UTF-8 as it is shown: bad sequences and NULs become U+FFFD. A NUL would end
    // the text in every C string and file made from it.
    static QString text(const char* data, qsizetype size);
    static QString text(const QByteArray& value) { return text(value.constData(), value.size()); }

    Form form() const;
    bool isEmpty() const { return values_.isEmpty(); }
    bool isArray() const { return values_.size() > 1; }
    const QList<QByteArray>& values() const { return values_; }

    // Empty gives "", a single value its text, an array its values joined by "; ".
    QString toString() const;
    QStringList toStringList() const;

    bool operator==(const AttrValue&) const = default;

private:
    QList<QByteArray> values_;
};

} // namespace directory
