// The key table under tvNode against a plain map, through long runs of inserts and removals:
// every key kept stays findable after the removals that shift its neighbours, and none comes back.

#include "browser/NodeKeys.h"

#include <QMap>
#include <QRandomGenerator>
#include <QTest>

#include <deque>

using browser::NodeKeys;
using browser::SharedText;

namespace {

SharedText textOf(int k)
{
    return SharedText(QStringLiteral("LDAP://CN=ユーザー%1,OU=大量,DC=example,DC=test").arg(k), QString());
}

} // namespace

class TestNodeKeys : public QObject {
    Q_OBJECT

private slots:
    void keysStayFindableThroughRemovalsAndGrowth()
    {
        QRandomGenerator random(20261207);
        std::deque<SharedText> texts; // stable addresses, like tree nodes
        QMap<QByteArray, const SharedText*> reference;
        NodeKeys keys;
        for (int round = 0; round < 6; ++round) {
            for (int i = 0; i < 3000; ++i) {
                texts.push_back(textOf(static_cast<int>(texts.size())));
                QVERIFY(keys.insert(&texts.back()));
                reference.insert(texts.back().pathBytes().toByteArray(), &texts.back());
            }
            // Take out about half of what is in, in a random order.
            QList<const SharedText*> present = reference.values();
            for (qsizetype i = present.size() - 1; i > 0; --i)
                present.swapItemsAt(i, random.bounded(i + 1));
            for (qsizetype i = 0; i < present.size() / 2; ++i) {
                keys.remove(present[i]);
                reference.remove(present[i]->pathBytes().toByteArray());
            }
            QCOMPARE(keys.size(), reference.size());
            for (const SharedText& text : texts) {
                const auto kept = reference.constFind(text.pathBytes().toByteArray());
                QCOMPARE(keys.find(text.pathBytes()), kept == reference.constEnd() ? nullptr : *kept);
            }
        }
        // What was taken out can come in again.
        for (const SharedText& text : texts) {
            if (!reference.contains(text.pathBytes().toByteArray()))
                QVERIFY(keys.insert(&text));
        }
        QCOMPARE(keys.size(), static_cast<qsizetype>(texts.size()));
    }

    void aKeyIsTakenOnceAndOnlyItsOwnNodeRemovesIt()
    {
        NodeKeys keys;
        QCOMPARE(keys.find("LDAP://DC=example"), nullptr);
        const SharedText first = textOf(1);
        keys.remove(&first); // not in: nothing happens
        const SharedText sameKey = textOf(1);
        QVERIFY(keys.insert(&first));
        QVERIFY(!keys.insert(&sameKey));
        QCOMPARE(keys.size(), 1);
        keys.remove(&sameKey);
        QCOMPARE(keys.find(first.pathBytes()), &first);
        // Keys differ in bytes, not in case: the tree's keys are exact.
        const SharedText upper(QStringLiteral("LDAP://CN=ユーザー1,OU=大量,DC=EXAMPLE,DC=test"), QString());
        QVERIFY(keys.insert(&upper));
        keys.remove(&first);
        QCOMPARE(keys.find(first.pathBytes()), nullptr);
        QCOMPARE(keys.find(upper.pathBytes()), &upper);
        keys.clear();
        QCOMPARE(keys.size(), 0);
        QCOMPARE(keys.find(upper.pathBytes()), nullptr);
    }
};

QTEST_GUILESS_MAIN(TestNodeKeys)
#include "test_NodeKeys.moc"
