// The shared names and classes of decoded entries: whatever was seen before, each call gives
// exactly the bytes it was handed.
#include "directory/RepeatedTexts.h"

#include <QTest>

using directory::RepeatedTexts;

class TestRepeatedTexts : public QObject {
    Q_OBJECT
private slots:
    void namesComeBackInLowerCaseAndDistinct()
    {
        RepeatedTexts texts;
        QCOMPARE(texts.lowerName("objectClass", 11), QStringLiteral("objectclass"));
        QCOMPARE(texts.lowerName("objectClass", 11), QStringLiteral("objectclass"));
        // A prefix of a known name is another name.
        QCOMPARE(texts.lowerName("objectClass", 6), QStringLiteral("object"));
        QCOMPARE(texts.lowerName("CN", 2), QStringLiteral("cn"));
        // Past the names it keeps, still right.
        for (int i = 0; i < 40; ++i) {
            const QByteArray name = "attr" + QByteArray::number(i);
            QCOMPARE(texts.lowerName(name.constData(), name.size()), QString::fromLatin1(name));
        }
        QCOMPARE(texts.lowerName("\xE5\x90\x8D", 3), QStringLiteral("名"));
    }

    void valuesAreSharedOnlyWhenTheBytesAreEqual()
    {
        RepeatedTexts texts;
        const QByteArray first = texts.value("top", 3);
        const QByteArray again = texts.value("top", 3);
        QCOMPARE(again, QByteArray("top"));
        QCOMPARE(again.constData(), first.constData());
        QCOMPARE(texts.value("to", 2), QByteArray("to"));
        QCOMPARE(texts.value("tOp", 3), QByteArray("tOp"));
        QCOMPARE(texts.value("top\0x", 5), QByteArray("top\0x", 5));
        QCOMPARE(texts.value("", 0), QByteArray());
        // More distinct values than it keeps: each still comes back as given, old ones too.
        for (int i = 0; i < 200; ++i) {
            const QByteArray value = "class" + QByteArray::number(i % 100);
            QCOMPARE(texts.value(value.constData(), value.size()), value);
        }
        QCOMPARE(texts.value("top", 3), QByteArray("top"));
        const QByteArray longValue(1000, 'c');
        QVERIFY(!texts.value(longValue.constData(), 1000).isSharedWith(texts.value(longValue.constData(), 1000)));
    }
};

QTEST_APPLESS_MAIN(TestRepeatedTexts)
#include "test_RepeatedTexts.moc"
