// GetIniValue: the stored value, "ERROR" for what does not exist, and the 255-character buffer.
#include "TestFiles.h"
#include "platform/mdlMain.h"

#include <QTemporaryDir>
#include <QTest>

using namespace testfiles;

class TestGetIniValue : public QObject {
    Q_OBJECT

private slots:
    void init() { QVERIFY(QFile::remove(path) || !QFile::exists(path)); }

    void missingFileSectionOrKeyGivesError()
    {
        QCOMPARE(get("USERNAME", "Data"), QStringLiteral("ERROR"));
        QVERIFY(writeBytes(path, "[Other]\r\nUSERNAME=x\r\n[Data]\r\nNAME=y\r\n"));
        QCOMPARE(get("USERNAME", "Data"), QStringLiteral("ERROR"));
    }

    void presentEmptyKeyGivesEmptyNotError()
    {
        QVERIFY(writeBytes(path, "[Data]\r\nUSERNAME=\r\n"));
        QCOMPARE(get("USERNAME", "Data"), QString());
    }

    void keyComesFirstAndSectionSecond()
    {
        QVERIFY(writeBytes(path, "[Data]\r\nUSERNAME=abc\r\n[USERNAME]\r\nData=swapped\r\n"));
        QCOMPARE(get("USERNAME", "Data"), QStringLiteral("abc"));
    }

    void valuesAreCutTo254BytesOfCp932()
    {
        QVERIFY(
            writeBytes(path, "[Data]\r\nA=" + QByteArray(300, 'a') + "\r\nJ=" + sjis(QString(200, u'漢')) + "\r\n"));
        QCOMPARE(get("A", "Data"), QString(254, u'a'));
        QCOMPARE(get("J", "Data"), QString(127, u'漢'));
    }

private:
    QString get(const char* key, const char* section)
    {
        return mdlMain::GetIniValue(QString::fromLatin1(key), QString::fromLatin1(section), path);
    }

    QTemporaryDir temp;
    const QString path = temp.filePath(QStringLiteral("larchfen.ini"));
};

QTEST_APPLESS_MAIN(TestGetIniValue)
#include "test_GetIniValue.moc"
