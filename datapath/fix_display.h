#pragma once
// The Info page's time, position, fix and time-to-first-fix fields, from the
// stored RMC and GSA sentences (NMEA mode) and the SV Measurements and PVT
// Solution copies (VBI mode). Each runs on the display thread when its
// event fires.

#include <cstdint>
#include <string>
#include <string_view>

#include "datapath/display_context.h"

namespace ferrolan {

void showRmc(DisplayContext& d);
void showGsa(DisplayContext& d);
void showSvMeasurements(DisplayContext& d);
void showPvtSolution(DisplayContext& d);

// Latitude or longitude with its hemisphere, "2447.1234N", shown as
// "24 Deg 47.1234N": " Deg " goes before the two whole-minute digits, found
// from the last "." among the first ten characters. Text without such a
// point is shown as it is.
std::string degreesText(std::string_view joined);

// The radians-to-degrees factor of the PVT Solution display.
inline constexpr double kPvtDegreesPerRadian = 57.29577951471995;

}  // namespace ferrolan
