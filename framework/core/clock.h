#pragma once

#include <framework/core/coreexport.h>

#include <QDate>
#include <QDateTime>

#include <functional>

namespace fw {

// The moment screens stamp on what they record and show as "now". It reads the system clock
// unless a host or a test installs another source.
FW_CORE_EXPORT QDateTime Now();
FW_CORE_EXPORT QDate Date();

using ClockSource = std::function<QDateTime()>;
// Installs a source; an empty one restores the system clock.
FW_CORE_EXPORT void setClock(ClockSource source);

} // namespace fw
