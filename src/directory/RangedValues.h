#pragma once

#include "directory/DirObject.h"

#include <optional>

namespace directory {

// One "attr;range=low-high" attribute description; high is nullopt for "*" (the last range).
struct ValueRange {
    QString attribute;
    qint64 low = 0;
    std::optional<qint64> high;
};
std::optional<ValueRange> parseValueRange(const QString& description);

// Reassembles a multi-valued attribute that Active Directory hands out in ranges
// ("member;range=0-1499", then "member;range=1500-*"). Feed it each response's attributes;
// it says which attribute description to request next, until the values are complete.
class RangedValues {
public:
    // step 0: ask for the plain attribute first and follow the server's ranges; step n: request
    // explicit ranges of n values (servers that do not cut on their own still go in steps).
    explicit RangedValues(QString attribute, qint64 step = 0);

    // Ranges one attribute may take: 30 million values at Active Directory's 1,500 a range. A
    // server that hands out one value at a time for ever gets an error here.
    static constexpr int maxRanges = 20000;
    // Values and bytes one attribute may take in all: more than three times the 1,500,000 members
    // of the biggest groups (about 150 MB of DNs), which become paths of twice the size. A server
    // that hands out more gets an error here.
    static constexpr qsizetype maxValues = 5000000;
    static constexpr qint64 maxBytes = qint64(512) << 20;

    QString firstRequest() const;
    // Takes the values of one response; returns the next description to request, or nullopt
    // when complete. Throws DirectoryError when the server's ranges leave a gap or go past the
    // budget; values() then holds what came before.
    std::optional<QString> take(const DirObject::Attributes& attributes);
    const QList<QByteArray>& values() const { return values_; }

private:
    QString rangeRequest(qint64 low) const;
    void append(const QList<QByteArray>& values);

    QString attribute_;
    qint64 step_;
    qint64 next_ = 0;
    int ranges_ = 0;
    qint64 bytes_ = 0;
    QList<QByteArray> values_;
};

} // namespace directory
