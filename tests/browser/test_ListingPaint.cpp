// A long listing shows its first rows while it runs, and nothing else runs meanwhile: no click,
// no key, no timer. A long list can be scrolled to its end and its last row opened.

#include "BrowserTests.h"
#include "ForwardingDirectory.h"
#include "InMemoryDirectory.h"
#include "MainWindowFixture.h"
#include "browser/ListingPaint.h"
#include "browser/Testing.h"
#include "details/frmDet.h"
#include "platform/mdlMain.h"

#include <QLineEdit>
#include <QMouseEvent>
#include <QTabWidget>

using namespace browsertests;

namespace {
const QString domainDn = QStringLiteral("DC=example,DC=test");
const QString bigDn = QStringLiteral("OU=big,DC=example,DC=test");
const QStringList userClass { QStringLiteral("top"), QStringLiteral("person"), QStringLiteral("user") };

// The listing's clock, moved on by the tests: a slow page is a step of the clock, not a wait.
qint64 listingNow = 0;
qint64 listingClock()
{
    return listingNow;
}

QString userDn(int k)
{
    return QStringLiteral("CN=u%1,").arg(k) + bigDn;
}

// Gives the children a page at a time, as a server does, and lets the test look at the window
// between two pages.
class PagedDirectory : public ForwardingDirectory<InMemoryDirectory> {
public:
    void enumerate(const directory::DirObject& container, const QStringList& classFilter,
        const std::function<void(const Batch&)>& onBatch) override
    {
        Batch all;
        inner.enumerate(
            container, classFilter, [&](const Batch& batch) { all.insert(all.end(), batch.begin(), batch.end()); });
        int pages = 0;
        for (size_t first = 0; first < all.size(); first += pageSize) {
            if (pages > 0 && betweenPages)
                betweenPages(pages);
            onBatch(Batch(all.begin() + static_cast<std::ptrdiff_t>(first),
                all.begin() + static_cast<std::ptrdiff_t>(std::min(all.size(), first + pageSize))));
            ++pages;
        }
    }

    size_t pageSize = 1000;
    // Called before each page but the first, with the number of pages delivered.
    std::function<void(int)> betweenPages;
};

// The row counts of the list at each paint of its viewport.
class PaintLog : public QObject {
public:
    explicit PaintLog(QTreeView* view)
        : view_(view)
    {
        view->viewport()->installEventFilter(this);
    }
    QList<int> rowsAtPaint;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            rowsAtPaint.append(view_->model()->rowCount());
        return QObject::eventFilter(watched, event);
    }

private:
    QTreeView* view_;
};

void postClick(QWidget* widget)
{
    const QPointF at = QRectF(widget->rect()).center();
    const QPointF global = widget->mapToGlobal(at);
    QCoreApplication::postEvent(
        widget, new QMouseEvent(QEvent::MouseButtonPress, at, global, Qt::LeftButton, Qt::LeftButton, {}));
    QCoreApplication::postEvent(
        widget, new QMouseEvent(QEvent::MouseButtonRelease, at, global, Qt::LeftButton, Qt::NoButton, {}));
}

} // namespace

class TestListingPaint : public QObject, BrowsingFixture {
    Q_OBJECT

private slots:
    void init()
    {
        listingNow = 0;
        browser::testing::setListingClock(listingClock);
        startBrowsing(QStringLiteral("example.test"), QStringLiteral("a"), QStringLiteral("p"));
    }
    void cleanup()
    {
        endBrowsing();
        browser::testing::setListingClock(nullptr);
    }

    void firstPageIsPaintedWhileTheListingRunsAndNoInputIsHandled()
    {
        PagedDirectory* dir = usePaged(5000);
        click(window->cmdConnect);
        QVERIFY(recorder->boxes.isEmpty());
        PaintLog listPaints(window->lvList);
        PaintLog treePaints(window->tvNode);
        window->tvNode->expand(childWithKey(topNode(window->tvNode), QStringLiteral("LDAP://") + bigDn));

        bool disconnected = false;
        connect(window->cmdDisConect, &QPushButton::clicked, this, [&] { disconnected = true; });
        bool timerRan = false;
        QList<int> paintedAfterFirstPage, paintedTreeAfterFirstPage;
        QList<bool> quietBetweenPages, hourglassBetweenPages;
        dir->betweenPages = [&](int delivered) {
            if (delivered == 1) {
                paintedAfterFirstPage = listPaints.rowsAtPaint;
                paintedTreeAfterFirstPage = treePaints.rowsAtPaint;
            }
            if (delivered == 2) // a slow page: the next one is painted too
                listingNow += browser::ListingPaint::paintInterval + 30;
            quietBetweenPages.append(!disconnected && !timerRan);
            hourglassBetweenPages.append(currentCursor() == Qt::WaitCursor);
        };
        listPaints.rowsAtPaint.clear();
        // What a person might do as the list fills: click Disconnect; and a timer that is due.
        postClick(window->cmdDisConect);
        QTimer::singleShot(0, this, [&] { timerRan = true; });

        QVERIFY(window->ListObjects(QStringLiteral("LDAP://") + bigDn, QString()));

        QVERIFY(recorder->boxes.isEmpty());
        QCOMPARE(quietBetweenPages, QList<bool>(4, true));
        QCOMPARE(hourglassBetweenPages, QList<bool>(4, true));
        QCOMPARE(paintedAfterFirstPage, QList<int>({ 1000 }));
        QVERIFY(!paintedTreeAfterFirstPage.isEmpty());
        QCOMPARE(rowCount(window->lvList), 5000);
        // The click and the timer were real: they run once the listing has returned.
        QTRY_VERIFY(disconnected && timerRan);
        QCOMPARE(rowCount(window->lvList), 0);
    }

    void laterPagesArePaintedAtMostEveryInterval()
    {
        PagedDirectory* dir = usePaged(20000);
        dir->pageSize = 500;
        click(window->cmdConnect);
        PaintLog listPaints(window->lvList);
        dir->betweenPages = [&](int delivered) {
            // Each page takes 70 ms; the server is slow with the 21st: the rows before it are shown.
            listingNow += delivered == 20 ? browser::ListingPaint::paintInterval + 30 : 70;
        };

        QVERIFY(window->ListObjects(QStringLiteral("LDAP://") + bigDn, QString()));

        const qint64 elapsed = listingNow;
        QVERIFY(recorder->boxes.isEmpty());
        QVERIFY(!listPaints.rowsAtPaint.isEmpty());
        QCOMPARE(listPaints.rowsAtPaint.constFirst(), 500);
        QVERIFY2(listPaints.rowsAtPaint.contains(10500), qPrintable(QString::number(listPaints.rowsAtPaint.size())));
        // Forty pages, but never two paints within one interval.
        QVERIFY2(listPaints.rowsAtPaint.size() <= 1 + elapsed / browser::ListingPaint::paintInterval,
            qPrintable(QStringLiteral("%1 paints in %2 ms").arg(listPaints.rowsAtPaint.size()).arg(elapsed)));
        // Three pages make an interval: the paints fall on every third page, and on the slow one.
        QCOMPARE(listPaints.rowsAtPaint,
            QList<int>({ 500, 2000, 3500, 5000, 6500, 8000, 9500, 10500, 12000, 13500, 15000, 16500, 18000, 19500 }));
    }

    void theLastRowOfALongListCanBeScrolledToAndOpened()
    {
        constexpr int children = 30'000;
        usePaged(children);
        click(window->cmdConnect);
        QVERIFY(window->ListObjects(QStringLiteral("LDAP://") + bigDn, QString()));
        QCOMPARE(rowCount(window->lvList), children);

        // A person clicks into the list, then presses End.
        const QModelIndex first = window->lvList->model()->index(0, 0);
        QTest::mouseClick(window->lvList->viewport(), Qt::LeftButton, {}, window->lvList->visualRect(first).center());
        QTest::keyClick(window->lvList, Qt::Key_End);
        const QModelIndex last = window->lvList->model()->index(children - 1, 0);
        QTRY_VERIFY2(window->lvList->viewport()->rect().contains(window->lvList->visualRect(last).center()),
            qPrintable(QStringLiteral("current %1 rect %2,%3 viewport %4 focus %5")
                           .arg(window->lvList->currentIndex().row())
                           .arg(window->lvList->visualRect(last).y())
                           .arg(window->lvList->visualRect(last).height())
                           .arg(window->lvList->viewport()->height())
                           .arg(window->lvList->hasFocus())));
        QCOMPARE(last.data().toString(), QString::number(children));
        const QPoint at = window->lvList->visualRect(last).center();
        QTest::mouseClick(window->lvList->viewport(), Qt::LeftButton, {}, at);
        QCOMPARE(selectedNode(window->lvList), last);

        DetailsCloser closer;
        QTest::mouseDClick(window->lvList->viewport(), Qt::LeftButton, {}, at);

        QCOMPARE(mdlMain::strObjectPath, QStringLiteral("LDAP://") + userDn(children));
        QCOMPARE(closer.tab, 3);
        QCOMPARE(closer.userName, QStringLiteral("u%1").arg(children));
        QVERIFY(recorder->boxes.isEmpty());
    }

private:
    PagedDirectory* usePaged(int bigChildren)
    {
        PagedDirectory* raw = useDirectory(std::make_unique<PagedDirectory>());
        raw->inner.add(domainDn, { QStringLiteral("top"), QStringLiteral("domainDNS") });
        raw->inner.add(bigDn, { QStringLiteral("top"), QStringLiteral("organizationalUnit") });
        for (int k = 1; k <= bigChildren; ++k)
            raw->inner.add(userDn(k), userClass, { { QStringLiteral("cn"), { QStringLiteral("u%1").arg(k) } } });
        return raw;
    }
};

QTEST_MAIN(TestListingPaint)
#include "test_ListingPaint.moc"
