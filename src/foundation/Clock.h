#pragma once

#include <QDateTime>

#include <functional>

// The local wall-clock time. Every date and time the client stamps on a message comes from here,
// so an operation reads one clock and a test can fix the moment.
QDateTime Now();

// Replaces the clock; an empty function brings back the system clock.
void SetClock(std::function<QDateTime()> clock);
