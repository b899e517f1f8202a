#include "DataTable.h"
#include "platform/Cp932.h"

#include <QTest>

using platform::ansiPrefixLength;
using platform::fromAnsi;
using platform::toAnsi;

namespace {
// toAnsi gives the row's bytes for its text.
void compareRowsBytes()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, bytes);
    QCOMPARE(toAnsi(text), bytes);
}
} // namespace

class TestCp932 : public QObject {
    Q_OBJECT

private slots:
    void charactersGetTheirWindowsBytes_data()
    {
        addColumns<QString, QByteArray>({ "text", "bytes" });
        QTest::newRow("ascii") << QStringLiteral("abc=1") << QByteArray("abc=1");
        QTest::newRow("hiragana") << QStringLiteral("あ") << QByteArray("\x82\xa0");
        QTest::newRow("half-width brackets") << QStringLiteral("｢｣") << QByteArray("\xa2\xa3");
        QTest::newRow("circled one") << QStringLiteral("①") << QByteArray("\x87\x40");
        QTest::newRow("NEC-selected kanji") << QStringLiteral("髙") << QByteArray("\xfb\xfc");
        QTest::newRow("fullwidth tilde") << QStringLiteral("～") << QByteArray("\x81\x60");
        QTest::newRow("wave dash") << QStringLiteral("〜") << QByteArray("\x81\x60");
        QTest::newRow("embedded NUL") << QString::fromUtf16(u"a\0b", 3) << QByteArray("a\0b", 3);
    }
    void charactersGetTheirWindowsBytes() { compareRowsBytes(); }

    void japaneseAndMixedTextComesBackUnchanged()
    {
        const QString text = QStringLiteral("営業部 user01＠ｴｲｷﾞｮｳ ①髙");
        QCOMPARE(fromAnsi(toAnsi(text)), text);
    }

    void eachCharacterCp932CannotHoldBecomesOneQuestionMark_data()
    {
        addColumns<QString, QByteArray>({ "text", "bytes" });
        QTest::newRow("latin") << QStringLiteral("café") << QByteArray("caf?");
        QTest::newRow("hangul between kana") << QStringLiteral("あ한い") << QByteArray("\x82\xa0?\x82\xa2");
        QTest::newRow("outside the BMP") << QStringLiteral("a😀😀b") << QByteArray("a??b");
        QTest::newRow("lone surrogate") << QString(QChar(0xD800)) + u'x' << QByteArray("?x");
    }
    void eachCharacterCp932CannotHoldBecomesOneQuestionMark() { compareRowsBytes(); }

    void invalidBytesDecodeAsQuestionMarksAndDecodingGoesOn()
    {
        QCOMPARE(fromAnsi(QByteArray("a\x81")), QStringLiteral("a?"));
        QCOMPARE(fromAnsi(QByteArray("\x81 b")), QStringLiteral("? b"));
        QCOMPARE(fromAnsi(QByteArray("\x82\xa0\0\x82\xa2", 5)), QString::fromUtf16(u"あ\0い", 3));
    }

    void prefixNeverEndsInTheFirstHalfOfACharacter_data()
    {
        addColumns<QByteArray, int, int>({ "bytes", "max", "length" });
        QTest::newRow("short enough") << QByteArray("abc") << 254 << 3;
        QTest::newRow("ascii cut") << QByteArray(300, 'x') << 254 << 254;
        QTest::newRow("even cut between pairs") << QByteArray("\x82\xa0\x82\xa2") << 2 << 2;
        QTest::newRow("odd cut inside a pair") << QByteArray("a\x82\xa0\x82\xa2") << 4 << 3;
        QTest::newRow("trail byte that looks like a lead") << QByteArray("\x82\x82\x82\xa0") << 3 << 2;
        QTest::newRow("half-width kana are single") << QByteArray("\xb1\xb2\xb3") << 2 << 2;
        QTest::newRow("lone lead at the end") << QByteArray("ab\x82") << 254 << 3;
    }
    void prefixNeverEndsInTheFirstHalfOfACharacter()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(int, max);
        QFETCH(int, length);
        QCOMPARE(ansiPrefixLength(bytes, max), qsizetype(length));
    }
};

QTEST_GUILESS_MAIN(TestCp932)
#include "test_Cp932.moc"
