#include "browser/ListingPaint.h"

#include <QAbstractItemView>

namespace browser {

ListingPaint::ListingPaint(QList<QAbstractItemView*> views)
    : views_(std::move(views))
{ }

void ListingPaint::pageAdded()
{
    if (sincePaint_.isValid() && sincePaint_.elapsed() < paintInterval)
        return;
    for (QAbstractItemView* view : std::as_const(views_)) {
        if (!view->isVisible())
            continue;
        // Laid out first: the scroll bars take their new range before anything is painted.
        view->doItemsLayout();
        view->repaint();
    }
    // Counted from the end of the paint: a paint of a long list must not take the listing's time.
    sincePaint_.start();
}

} // namespace browser
