#include "browser/ProgramError.h"
#include "directory/DirectoryError.h"
#include "platform/NumberedError.h"
#include "probes/WmiScripting.h"

#include <QTest>
#include <cerrno>
#include <functional>

namespace {
// What an error trap that catches the base shows; empty when nothing, or something else, was thrown.
QString trapped(const std::function<void()>& operation)
{
    try {
        operation();
    } catch (const platform::NumberedError& error) {
        return error.reportText();
    } catch (...) { }
    return {};
}
} // namespace

class TestNumberedError : public QObject {
    Q_OBJECT

private slots:
    void oneTrapShowsEveryKindWithItsNumber()
    {
        QCOMPARE(
            trapped([] { throw directory::DirectoryError(directory::hresult::ServerDown, QStringLiteral("落ちた")); }),
            QStringLiteral("-2147016646\r\n落ちた"));
        QCOMPARE(trapped([] { throw browser::fileError(ENOENT); }), QStringLiteral("76\r\nパスが見つかりません。"));
        QCOMPARE(trapped([] {
            probes::wmi::SWbemLocator().ConnectServer(
                QStringLiteral("dc.example.com"), QStringLiteral("root\\cimv2"), {}, {});
        }),
            QStringLiteral("-2147023174\r\nRPC サーバーを利用できません: dc.example.com "
                           "(このコンピューター以外には接続しません)"));
    }

    void theKindsStayApart()
    {
        // Handlers that swallow directory failures must still let a list failure through.
        bool directoryTrapCaughtIt = false;
        try {
            try {
                throw browser::ProgramError(browser::errnum::KeyNotUnique, QStringLiteral("重複"));
            } catch (const directory::DirectoryError&) {
                directoryTrapCaughtIt = true;
            }
        } catch (const browser::ProgramError& error) {
            QCOMPARE(error.number(), browser::errnum::KeyNotUnique);
        }
        QVERIFY(!directoryTrapCaughtIt);
    }
};

QTEST_APPLESS_MAIN(TestNumberedError)
#include "test_NumberedError.moc"
