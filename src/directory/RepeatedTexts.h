#pragma once

// Internal to src/directory: attribute names and object classes that nearly every entry of a
// listing repeats, handed out as shared copies instead of one allocation each per entry.

#include <QByteArray>
#include <QString>
#include <vector>

namespace directory {

class RepeatedTexts {
public:
    // The name in lower case, as the attribute maps key it.
    QString lowerName(const char* data, qsizetype size);
    // Whether the values of an attribute (by its lower-case name) repeat from entry to entry.
    static bool valuesRepeat(const QString& lowerName);
    // The value, shared with an earlier equal one when there was one.
    QByteArray value(const char* data, qsizetype size);

private:
    struct Name {
        QByteArray raw;
        QString lower;
    };
    static constexpr size_t maxNames = 16;
    static constexpr size_t maxValues = 32;
    // Longer texts are never kept: the thread keeps what it keeps for good, and a server's class
    // of 16 MB would stay with it.
    static constexpr qsizetype maxKeptSize = 256;
    std::vector<Name> names_;
    std::vector<QByteArray> values_;
    size_t nextValue_ = 0;
};

} // namespace directory
