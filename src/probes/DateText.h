#pragma once

#include "directory/AttrValue.h"

#include <QByteArrayView>
#include <QDateTime>
#include <QString>
#include <optional>

namespace probes {

// An LDAP GeneralizedTime (RFC 4517: YYYYMMDDHH[MM[SS]][.fraction](Z|+hh[mm]|-hh[mm]), as
// whenCreated holds it, "20240401090000.0Z"); nullopt for any other text.
std::optional<QDateTime> fromGeneralizedTime(QByteArrayView text);

// A date attribute as a person reads it: the local time, "2024/04/01 18:00:00". A value that
// is no GeneralizedTime is shown as its text; an unset one as empty text.
QString dateText(const directory::AttrValue& value);

} // namespace probes
