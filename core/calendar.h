#pragma once
// Civil dates and Unix time, both ways (proleptic Gregorian, UTC): for the
// simulated receiver's clock and for dating logged fixes.

#include <cstdint>
#include <string>

#include "platform/clock.h"

namespace ferrolan {

int64_t daysFromCivil(int year, int month, int day);  // days since 1970-01-01
CalendarTime civilFromUnix(int64_t unixSeconds);
int64_t unixFromCivil(const CalendarTime& t);
// ISO 8601 in UTC to the second: 2026-12-10T14:03:07Z.
std::string isoUtc(const CalendarTime& t);

}  // namespace ferrolan
