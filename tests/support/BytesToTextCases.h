#pragma once

#include <QByteArray>
#include <QString>
#include <QTest>

// Tables of bytes and the text made of them: columns "value" and "expected".
inline void bytesToTextColumns()
{
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<QString>("expected");
}
// One row of such a table: textOf(value) must be the expected text.
template <typename TextOf> void bytesToTextCase(TextOf textOf)
{
    QFETCH(QByteArray, value);
    QFETCH(QString, expected);
    QCOMPARE(textOf(value), expected);
}
