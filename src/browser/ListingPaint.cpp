#include "browser/ListingPaint.h"

#include "browser/Testing.h"

#include <QAbstractItemView>
#include <chrono>

namespace browser {

namespace {

qint64 steadyClock()
{
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    return std::chrono::duration_cast<std::chrono::milliseconds>(now).count();
}

qint64 (*listingClock)() = steadyClock;

} // namespace

ListingPaint::ListingPaint(QList<QAbstractItemView*> views)
    : views_(std::move(views))
{ }

void ListingPaint::pageAdded()
{
    if (paintEnded_ && listingClock() - *paintEnded_ < paintInterval)
        return;
    for (QAbstractItemView* view : std::as_const(views_)) {
        if (!view->isVisible())
            continue;
        // Laid out first: the scroll bars take their new range before anything is painted.
        view->doItemsLayout();
        view->repaint();
    }
    // Counted from the end of the paint: a paint of a long list must not take the listing's time.
    paintEnded_ = listingClock();
}

namespace testing {

void setListingClock(qint64 (*now)())
{
    listingClock = now ? now : steadyClock;
}

} // namespace testing

} // namespace browser
