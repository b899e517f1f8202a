// Dates as Command1 shows them: GeneralizedTime read exactly, shown in local time.
#include "BytesToTextCases.h"
#include "probes/DateText.h"

#include <QTest>
#include <ctime>

namespace {
void useTimeZone(const char* zone)
{
    qputenv("TZ", zone);
    ::tzset();
}

QString shown(const QByteArray& value)
{
    return probes::dateText(directory::AttrValue({ value }));
}
} // namespace

class TestDateText : public QObject {
    Q_OBJECT

private slots:
    void init() { useTimeZone("Asia/Tokyo"); }

    void generalizedTimesBecomeLocalTime_data()
    {
        bytesToTextColumns();
        QTest::newRow("active directory form") << QByteArray("20240401090000.0Z") << "2024/04/01 18:00:00";
        QTest::newRow("next day") << QByteArray("20231231150000Z") << "2024/01/01 00:00:00";
        QTest::newRow("no seconds") << QByteArray("202404010930Z") << "2024/04/01 18:30:00";
        QTest::newRow("fraction of an hour") << QByteArray("2024040109.5Z") << "2024/04/01 18:30:00";
        QTest::newRow("fraction of a second dropped") << QByteArray("20240401090059.999Z") << "2024/04/01 18:00:59";
        QTest::newRow("east offset") << QByteArray("20240401180000+0900") << "2024/04/01 18:00:00";
        QTest::newRow("west offset, hours only") << QByteArray("20240401040000-05") << "2024/04/01 18:00:00";
        QTest::newRow("leap second") << QByteArray("20161231235960Z") << "2017/01/01 09:00:00";
    }
    void generalizedTimesBecomeLocalTime() { bytesToTextCase(shown); }

    void summerTimeIsApplied()
    {
        useTimeZone("America/New_York");
        QCOMPARE(shown("20240701120000.0Z"), QStringLiteral("2024/07/01 08:00:00"));
        QCOMPARE(shown("20240101120000.0Z"), QStringLiteral("2024/01/01 07:00:00"));
    }

    void otherTextIsShownAsItIs()
    {
        for (const char* value : { "20240401090000", "20241301090000Z", "20240401096000Z", "20240401090000.Z",
                 "20240401090000+2400", "yesterday" }) {
            QVERIFY2(!probes::fromGeneralizedTime(value), value);
            QCOMPARE(shown(value), QString::fromLatin1(value));
        }
        QCOMPARE(probes::dateText(directory::AttrValue()), QString());
    }
};

QTEST_APPLESS_MAIN(TestDateText)
#include "test_DateText.moc"
