#pragma once

#include <framework/data/dataexport.h>

#include <QByteArray>
#include <QDateTime>

#include <optional>

namespace fw {

// Date-times travel as RFC 3339 text with milliseconds and the local UTC offset
// ("2026-12-07T10:30:00.000-03:00"), inside CBOR tag 0. These two are written by hand because
// a statement carries several per movement and QDateTime's parser would dominate its loading.

// Milliseconds since the epoch of an RFC 3339 date-time ("Z" or ±hh:mm; fraction optional,
// digits past the millisecond ignored); nullopt for anything malformed or out of range.
FW_DATA_EXPORT std::optional<qint64> parseWireDateTime(const char *text, qsizetype length);
// The instant written in the machine's local time with its offset; throws std::out_of_range
// for one whose local year is outside 0000-9999.
FW_DATA_EXPORT QByteArray formatWireDateTime(qint64 msecsSinceEpoch);
// The same into `out`, without an allocation; returns the length written.
constexpr qsizetype WireDateTimeMaxLength = 29;
FW_DATA_EXPORT qsizetype formatWireDateTime(qint64 msecsSinceEpoch, char (&out)[WireDateTimeMaxLength]);

inline QDateTime dateTimeFromMSecs(qint64 msecs)
{
    return QDateTime::fromMSecsSinceEpoch(msecs);
}

} // namespace fw
