// ListObjects through the window on directories a real server cannot be made to give: failures
// in the middle of a listing, the same object twice, very many children.

#include "BrowserTests.h"
#include "ForwardingDirectory.h"
#include "InMemoryDirectory.h"
#include "MainWindowFixture.h"
#include "RealBoxes.h"
#include "TestDirectory.h"

#include <QLineEdit>
#include <QTemporaryDir>
#include <sys/stat.h>

using namespace browsertests;
using directory::DirectoryError;
using TestDirectory::adsPath;

namespace {
const QString domainDn = QStringLiteral("DC=example,DC=test");
const QString bigDn = QStringLiteral("OU=big,DC=example,DC=test");
const QStringList ouClass { QStringLiteral("top"), QStringLiteral("organizationalUnit") };
const QStringList userClass { QStringLiteral("top"), QStringLiteral("person"), QStringLiteral("user") };
const DirectoryError serverDown(directory::hresult::ServerDown, QStringLiteral("サーバーが動作していません。"));

QString userDn(int k, const QString& parent = bigDn)
{
    return QStringLiteral("CN=u%1,").arg(k) + parent;
}

// A directory that gives one object twice in a listing.
class RepeatingDirectory : public ForwardingDirectory<InMemoryDirectory> {
public:
    void enumerate(const directory::DirObject& container, const QStringList& classFilter,
        const std::function<void(const Batch&)>& onBatch) override
    {
        inner.enumerate(container, classFilter, [&](const Batch& batch) {
            Batch twice = batch;
            twice.insert(twice.end(), batch.begin(), batch.end());
            onBatch(twice);
        });
    }
};

void addSample(InMemoryDirectory& dir, int bigChildren)
{
    dir.add(domainDn, { QStringLiteral("top"), QStringLiteral("domainDNS") });
    dir.add(QStringLiteral("CN=Users,DC=example,DC=test"), { QStringLiteral("top"), QStringLiteral("container") });
    dir.add(bigDn, ouClass);
    for (int k = 1; k <= bigChildren; ++k)
        dir.add(userDn(k), userClass);
}
} // namespace

class TestListObjects : public QObject, BrowsingFixture {
    Q_OBJECT

private slots:
    void init()
    {
        startBrowsing(QStringLiteral("example.test"), QStringLiteral("a"), QStringLiteral("p"));
        QVERIFY(temp.isValid());
    }
    void cleanup() { endBrowsing(); }

    void failureAfterSomeChildrenKeepsWhatWasListed()
    {
        useInMemory(5)->failEnumeration(bigDn, 3, serverDown);
        QPersistentModelIndex big = connectAndFind(bigDn);

        clickNode(window->tvNode, big);

        QCOMPARE(recorder->boxes.size(), 1);
        QCOMPARE(recorder->boxes.constFirst().text, serverDown.reportText());
        QCOMPARE(recorder->boxes.constFirst().cursor, Qt::WaitCursor);
        QCOMPARE(childCount(big), 3);
        const QList<Row> rows = listRows(window->lvList);
        QCOMPARE(rows.size(), 3);
        QCOMPARE(rows.constLast(),
            (Row { QStringLiteral("3"), QStringLiteral("user"), QStringLiteral("CN=u3"), adsPath(userDn(3)) }));
        QCOMPARE(childKeys(big), QStringList({ adsPath(userDn(1)), adsPath(userDn(2)), adsPath(userDn(3)) }));
    }

    void failureAfterSomeChildrenKeepsTheLinesWritten()
    {
        auto* dir = useInMemory(5);
        dir->failEnumeration(bigDn, 2, DirectoryError(directory::hresult::Fail, QStringLiteral("失敗")));
        QPersistentModelIndex big = connectAndFind(bigDn);
        window->tvNode->setCurrentIndex(big);
        const QString file = temp.filePath(QStringLiteral("partial.csv"));

        QVERIFY(!window->ListObjects(keyOf(big), file));

        QCOMPARE(recorder->boxes.size(), 1);
        QCOMPARE(readBytes(file),
            QByteArray("\xA2OU=big\xA3\x88\xC8\x89\xBA\x82\xC9\x91\xB6\x8D\xDD\x82\xB7\x82\xE9\x83I\x83u"
                       "\x83W\x83\x46\x83N\x83g\r\n"
                       "1\tuser\tCN=u1\tLDAP://CN=u1,OU=big,DC=example,DC=test\t\r\n"
                       "2\tuser\tCN=u2\tLDAP://CN=u2,OU=big,DC=example,DC=test\t\r\n"));
        QCOMPARE(listRows(window->lvList).size(), 2);
    }

    void sameObjectTwiceIsRefusedAfterTheFirst()
    {
        auto repeating = std::make_unique<RepeatingDirectory>();
        addSample(repeating->inner, 1);
        useDirectory(std::move(repeating));
        click(window->cmdConnect);
        QCOMPARE(recorder->boxes.size(), 1);
        QCOMPARE(
            recorder->boxes.constFirst().text, QStringLiteral("35602\r\nキーがコレクション内で一意ではありません。"));
        const QPersistentModelIndex root = topNode(window->tvNode, 0);
        // What came before the second copy stays: both children once, both rows once.
        QCOMPARE(childCount(root), 2);
        QCOMPARE(rowCount(window->lvList), 2);
        QVERIFY(window->cmdConnect->isEnabled());
    }

    void hundredThousandChildrenAreReplacedOnEveryListing()
    {
        constexpr int children = 100'000;
        auto* dir = useInMemory(children);
        dir->add(userDn(1, userDn(1)), userClass);
        dir->add(userDn(2, userDn(1)), userClass);
        QPersistentModelIndex big = connectAndFind(bigDn);
        const int rootNodes = nodeCount(window->tvNode);
        clickNode(window->tvNode, big);
        QCOMPARE(childCount(big), children);
        QPersistentModelIndex first = child(big, 0);
        QVERIFY(window->ListObjects(keyOf(first), QString()));
        QCOMPARE(childCount(first), 2);

        QVERIFY(window->ListObjects(adsPath(bigDn), QString()));

        QVERIFY(recorder->boxes.isEmpty());
        QCOMPARE(childCount(big), children);
        QCOMPARE(nodeCount(window->tvNode), rootNodes + children);
        QCOMPARE(rowCount(window->lvList), children);
        QCOMPARE(text(topNode(window->lvList, children - 1)), QString::number(children));
        QCOMPARE(childCount(child(big, 0)), 0);
        QVERIFY(!window->ListObjects(adsPath(userDn(2, userDn(1))), QString()));
        QCOMPARE(recorder->boxes.size(), 1);
    }

    void exportOntoAFifoIsRefusedBeforeAnythingIsListed()
    {
        useInMemory(5);
        const QPersistentModelIndex big = connectAndFind(bigDn);
        const QString fifo = temp.filePath(QStringLiteral("list.csv"));
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        ::alarm(30); // one that blocks ends the suite (SIGALRM) instead of holding it
        QVERIFY(!window->ListObjects(keyOf(big), fifo));
        ::alarm(0);
        QCOMPARE(recorder->texts(), QStringList { QStringLiteral("75\r\nパス名またはファイル名が無効です。") });
        QCOMPARE(childCount(big), 0);
    }

    void theErrorBoxShowsTheArrowNotTheHourglass()
    {
        auto* dir = useInMemory(5);
        const QPersistentModelIndex big = connectAndFind(bigDn);
        dir->failEnumeration(bigDn, 2, serverDown);
        recorder.reset();
        RealBoxes boxes;

        clickNode(window->tvNode, big);

        QCOMPARE(boxes.seen.size(), 1);
        QCOMPARE(boxes.seen.constFirst().text, serverDown.reportText());
        QCOMPARE(boxes.seen.constFirst().pointer, Qt::ArrowCursor);
        QCOMPARE(boxes.seen.constFirst().waiting, QStringList { QStringLiteral("frmMain") });
        QCOMPARE(childCount(big), 2);
    }

private:
    InMemoryDirectory* useInMemory(int bigChildren)
    {
        InMemoryDirectory* dir = useDirectory(std::make_unique<InMemoryDirectory>());
        addSample(*dir, bigChildren);
        return dir;
    }
    QPersistentModelIndex connectAndFind(const QString& dn)
    {
        click(window->cmdConnect);
        if (!recorder->boxes.isEmpty())
            qWarning("connect failed: %s", qPrintable(recorder->boxes.constFirst().text));
        return childWithKey(topNode(window->tvNode, 0), adsPath(dn));
    }

    QTemporaryDir temp;
};

QTEST_MAIN(TestListObjects)
#include "test_ListObjects.moc"
