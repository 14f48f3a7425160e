#include "clock.h"

namespace fw {
namespace {

ClockSource &source()
{
    static ClockSource current;
    return current;
}

} // namespace

QDateTime Now()
{
    return source() ? source()() : QDateTime::currentDateTime();
}

QDate Date()
{
    return Now().date();
}

void setClock(ClockSource clock)
{
    source() = std::move(clock);
}

} // namespace fw
