#include "foundation/Clock.h"

namespace {

std::function<QDateTime()>& ClockSource()
{
    static std::function<QDateTime()> source;
    return source;
}

} // namespace

QDateTime Now()
{
    const auto& source = ClockSource();
    return source ? source() : QDateTime::currentDateTime();
}

void SetClock(std::function<QDateTime()> clock)
{
    ClockSource() = std::move(clock);
}
