// A listing of several pages whose receiver stops it partway: the pages already delivered stay
// delivered, and the connection serves the next listing and reads as if nothing had happened.
#include "DirectoryListing.h"
#include "TestDirectory.h"
#include "directory/LdapDirectory.h"

#include <QTest>
#include <stdexcept>

using directory::DirObject;
using directory::LdapDirectory;
using namespace listing;

namespace {
QStringList expectedBulkNames()
{
    QStringList names;
    for (int k = 1; k <= 2500; ++k)
        names.append(TestDirectory::bulkChildDn(k).section(u',', 0, 0));
    return names;
}
} // namespace

class ItPagedListing : public QObject {
    Q_OBJECT
private slots:
    void everyPageArrivesOnceInServerOrder()
    {
        LdapDirectory directory;
        std::vector<DirObject> all;
        QList<size_t> pageSizes;
        directory.enumerate(directory.bind(TestDirectory::adsPath(TestDirectory::bulkOu)), fiveClasses,
            [&](const directory::Directory::Batch& batch) {
                pageSizes.append(batch.size());
                all.insert(all.end(), batch.begin(), batch.end());
            });
        QCOMPARE(pageSizes, QList<size_t>({ 1000, 1000, 500 }));
        QCOMPARE(namesOf(all), expectedBulkNames());
    }

    void aReceiverThatStopsAfterAPageLeavesTheConnectionUsable_data()
    {
        QTest::addColumn<int>("stopAfter");
        QTest::newRow("first page") << 1;
        QTest::newRow("second page") << 2;
        QTest::newRow("last page") << 3;
    }
    void aReceiverThatStopsAfterAPageLeavesTheConnectionUsable()
    {
        QFETCH(int, stopAfter);
        LdapDirectory directory;
        const DirObject bulk = directory.bind(TestDirectory::adsPath(TestDirectory::bulkOu));
        std::vector<DirObject> delivered;
        int pages = 0;
        QVERIFY_THROWS_EXCEPTION(
            std::runtime_error, directory.enumerate(bulk, fiveClasses, [&](const directory::Directory::Batch& batch) {
                delivered.insert(delivered.end(), batch.begin(), batch.end());
                if (++pages == stopAfter)
                    throw std::runtime_error("stop");
            }));
        QCOMPARE(pages, stopAfter);
        QCOMPARE(namesOf(delivered), expectedBulkNames().mid(0, qMin(1000 * stopAfter, 2500)));

        // The same connection: a whole listing, then a read of many entries.
        QCOMPARE(directory.openConnectionCount(), 1);
        QCOMPARE(namesOf(childrenOf(directory, bulk.adsPath())), expectedBulkNames());
        QStringList paths;
        for (int k = 1; k <= 300; ++k)
            paths.append(TestDirectory::adsPath(TestDirectory::bulkChildDn(k)));
        const std::vector<directory::ReadResult> names = directory.readEach(paths, QStringLiteral("cn"));
        QCOMPARE(names.size(), size_t(300));
        for (int k = 1; k <= 300; ++k) {
            QVERIFY(!names[k - 1].error);
            QCOMPARE(names[k - 1].value.toString(), TestDirectory::bulkChildDn(k).section(u',', 0, 0).mid(3));
        }
        QCOMPARE(directory.openConnectionCount(), 1);
    }
};

QTEST_MAIN(ItPagedListing)
#include "it_PagedListing.moc"
