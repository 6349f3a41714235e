#pragma once
// NMEA sentences made from the receiver's binary solution and measurements,
// so that a program that reads only NMEA (gpsd, a navigation program) keeps
// its fix while the receiver streams binary frames. Pure: no port, no clock.

#include <string>
#include <string_view>
#include <vector>

#include "datapath/sv_measurements.h"

namespace ferrolan {

// The date comes from the measurements' GPS time; without them RMC has
// none. Position fields are empty while there is no fix or the solution's
// values are out of range.
std::string ggaFromVbi(const PvtSolution& pvt);
std::string gsaFromVbi(const PvtSolution& pvt);
std::string rmcFromVbi(const PvtSolution& pvt, const SvMeasurements* meas);
// Four satellites a sentence; none when nothing is tracked.
std::vector<std::string> gsvFromVbi(const SvMeasurements& meas);

// One epoch in the order receivers send it: GGA, GSA, GSV group, RMC (the
// sentence that ends gpsd's cycle).
std::vector<std::string> nmeaFromVbi(const PvtSolution& pvt, const SvMeasurements* meas);

// Seconds since the GPS epoch less the leap seconds, as calendar UTC.
struct CalendarDate {
  int year = 0, month = 0, day = 0;
};
// The UTC date of a GPS time, moved by a day when the solution's time of
// day lies on the other side of midnight from it.
CalendarDate utcDateOf(uint32_t gpsSeconds, int hour, int minute, int second);

}  // namespace ferrolan
