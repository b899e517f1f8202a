// Ranged retrieval of a big multi-valued attribute. Two kinds of server: an honest one that cuts
// the values the way Active Directory does (the reassembly must give every value once, in
// order), and one that answers with any attribute names and values at all (no crash, no endless
// requests, a gap is an error).

#include "FuzzSupport.h"

#include "directory/DirectoryError.h"
#include "directory/RangedValues.h"

#include <QList>
#include <optional>

namespace fuzz_ranged_values {

using directory::DirectoryError;
using directory::DirObject;
using directory::RangedValues;

// The answer of a server holding `values` and handing out at most `pageSize` of them at a time,
// to a request for `description` ("member" or "member;range=low-high|*").
DirObject::Attributes honestAnswer(const QString& description, const QList<QByteArray>& values, qint64 pageSize)
{
    DirObject::Attributes attributes;
    const qint64 count = values.size();
    const std::optional<directory::ValueRange> range = directory::parseValueRange(description);
    if (!range) {
        FUZZ_CHECK(!description.contains(u';'), "unparsable request " + fuzzing::show(description));
        if (count == 0)
            return attributes;
        if (count <= pageSize) {
            attributes.insert(description, values);
            return attributes;
        }
    }
    const qint64 low = range ? range->low : 0;
    if (low >= count)
        return attributes;
    qint64 last = std::min(low + pageSize - 1, count - 1);
    if (range && range->high)
        last = std::min(last, *range->high);
    const QString attribute = range ? range->attribute : description;
    const QString high = last == count - 1 ? QStringLiteral("*") : QString::number(last);
    attributes.insert(
        QStringLiteral("%1;range=%2-%3").arg(attribute).arg(low).arg(high), values.mid(low, last - low + 1));
    return attributes;
}

void checkHonest(fuzzing::Input& input)
{
    const qint64 pageSize = 1 + input.byte() % 40;
    const qint64 step = input.byte() % 4 == 0 ? 0 : 1 + input.byte() % 50;
    const bool plainFirst = input.byte() & 1;
    const int count = input.byte() + 256 * (input.byte() % 4);
    QList<QByteArray> values;
    for (int i = 0; i < count; ++i)
        values.append(QByteArray::number(i));

    RangedValues member(QStringLiteral("member"), step);
    // What LdapDirectory does: with explicit ranges it asks for the first one; else the bind's
    // own answer (the plain attribute, perhaps already cut) comes first.
    std::optional<QString> next;
    if (step > 0 && !plainFirst)
        next = member.firstRequest();
    else
        next = member.take(honestAnswer(QStringLiteral("member"), values, pageSize));
    int requests = 0;
    while (next) {
        FUZZ_CHECK(++requests <= count + 2, "endless requests, next " + fuzzing::show(*next));
        next = member.take(honestAnswer(*next, values, pageSize));
    }
    FUZZ_CHECK(member.values() == values,
        "page " + std::to_string(pageSize) + " step " + std::to_string(step) + " count " + std::to_string(count)
            + ": got " + std::to_string(member.values().size()) + " values");
}

void checkHostile(fuzzing::Input& input)
{
    // The names the program asks for; the server's answer may hold anything.
    static const QString attributes[]
        = { QStringLiteral("member"), QStringLiteral("memberOf"), QStringLiteral("Member") };
    const QString attribute = attributes[input.byte() % 3];
    const qint64 step = input.byte() & 1 ? qint64(input.u64() >> (input.byte() % 64)) : 0;
    RangedValues values(attribute, step);
    values.firstRequest();
    qsizetype delivered = 0;
    for (int round = 0; round < 16 && !input.empty(); ++round) {
        DirObject::Attributes answer;
        const int names = input.byte() % 4;
        for (int n = 0; n < names; ++n) {
            const QString name = QString::fromUtf8(input.until('\x03'));
            QList<QByteArray> list;
            const int count = input.byte() % 4;
            for (int v = 0; v < count; ++v)
                list.append(input.until('\x04'));
            answer.insert(name, list);
        }
        std::optional<QString> next;
        try {
            next = values.take(answer);
        } catch (const DirectoryError&) {
            return;
        }
        FUZZ_CHECK(values.values().size() >= delivered, "values were lost");
        delivered = values.values().size();
        if (!next)
            return;
        // The next request names the attribute and a range that parses again.
        const std::optional<directory::ValueRange> range = directory::parseValueRange(*next);
        FUZZ_CHECK(range.has_value(), "unparsable next request " + fuzzing::show(*next));
        FUZZ_CHECK(range->attribute == attribute.toLower(), fuzzing::show(*next));
    }
}

} // namespace fuzz_ranged_values

FUZZ_TARGET(ranged_values)
{
    fuzzing::Input input(data, size);
    if (input.byte() & 1)
        fuzz_ranged_values::checkHonest(input);
    else
        fuzz_ranged_values::checkHostile(input);
    return 0;
}
