#pragma once

#include <QtGlobal>

// What tests may change in the browser layer, all in one place. The program never calls these.
namespace browser::testing {

// Makes ListingPaint read its milliseconds from `now` instead of the steady clock; null restores it.
void setListingClock(qint64 (*now)());

} // namespace browser::testing
