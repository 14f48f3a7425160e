#pragma once

#include <QDate>
#include <QDateTime>

#include <functional>

namespace fw {

// The moment screens stamp on what they record and show as "now". It reads the system clock
// unless a host or a test installs another source.
QDateTime Now();
QDate Date();

using ClockSource = std::function<QDateTime()>;
// Installs a source; an empty one restores the system clock.
void setClock(ClockSource source);

} // namespace fw
