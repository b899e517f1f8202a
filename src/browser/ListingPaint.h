#pragma once

#include <QList>
#include <optional>

class QAbstractItemView;

namespace browser {

// Shows a long listing as it arrives. The listing runs to its end on the UI thread, so the
// event loop gets no turn until it returns: the views are laid out and painted directly, which
// delivers no click, key, timer or other handler. First after the first page, then at most
// every paintInterval.
class ListingPaint {
public:
    static constexpr qint64 paintInterval = 200; // ms

    explicit ListingPaint(QList<QAbstractItemView*> views);

    // Called after each page has joined the models.
    void pageAdded();

private:
    QList<QAbstractItemView*> views_;
    std::optional<qint64> paintEnded_; // ms on the listing clock
};

} // namespace browser
