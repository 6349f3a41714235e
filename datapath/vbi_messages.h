#pragma once
// The binary messages: their display names, and the intake that keeps the
// two decoded ones (SV Measurements 120, PVT Solution 121) for the display
// thread.

#include <array>
#include <cstdint>
#include <string_view>

#include "datapath/data_path_context.h"

namespace ferrolan {

inline constexpr int kFirstNamedMessage = 100, kLastNamedMessage = 155;
inline constexpr int kSvMeasurementsMessage = 120, kPvtSolutionMessage = 121;
// A name fits a slot of 40 characters with its terminator.
inline constexpr size_t kMessageNameCapacity = 40;

// Indexed by id - 100; an id without a known message has only its number.
inline constexpr std::array<std::string_view, kLastNamedMessage - kFirstNamedMessage + 1> kVbiMessageNames = {
    "Receiver ID Data (100)",
    "Self-test Result Data (101)",
    "RReceiver Mode Data (102)",
    "ADC Sensor Data (103)",
    "(104)",
    "(105)",
    "Receiver Configuration Data (106)",
    "ADC Calibration Data (107)",
    "(108)",
    "Debugging Data (109)",
    "Communication Status Data (110)",
    "Communication Statistics Data (111)",
    "(112)",
    "(113)",
    "(114)",
    "(115)",
    "(116)",
    "(117)",
    "(118)",
    "TTFF Data (119)",
    "SV Measurements Data (120)",
    "PVT Solution Data (121)",
    "SV Visibility Data (122)",
    "DR Data (123)",
    "Clock Parameters Data (124)",
    "Datum Parameters Data (125)",
    "PE Thresholds Data (126)",
    "PE Extended Data (127)",
    "(128)",
    "(129)",
    "(130)",
    "(131)",
    "(132)",
    "(133)",
    "(134)",
    "(135)",
    "(136)",
    "(137)",
    "(138)",
    "(139)",
    "GPS Almanac Data (140)",
    "GPS Ephemeris Data (141)",
    "GPS Ionospheric Data (142)",
    "GPS UTC Data (143)",
    "SV Status Data (144)",
    "GEO Almanac Data (145)",
    "GEO Ephemeris Data (146)",
    "(147)",
    "(148)",
    "GEO Raw Data (149)",
    "(150)",
    "V-NVRAM Read Data (151)",
    "V-NVRAM Write Status Data (152)",
    "Memory Dump Data (153)",
    "Poke Status Data (154)",
    "Execute Status Data (155)",
};

namespace vbiNames {
// Every entry fits its slot and ends in its own id in parentheses.
constexpr bool wellFormed() {
  for (size_t i = 0; i < kVbiMessageNames.size(); ++i) {
    const std::string_view n = kVbiMessageNames[i];
    const int id = kFirstNamedMessage + static_cast<int>(i);
    const char tail[] = {'(', static_cast<char>('0' + id / 100), static_cast<char>('0' + id / 10 % 10),
                         static_cast<char>('0' + id % 10), ')'};
    if (n.size() >= kMessageNameCapacity || n.size() < sizeof tail) return false;
    for (size_t k = 0; k < sizeof tail; ++k)
      if (n[n.size() - sizeof tail + k] != tail[k]) return false;
    if (n.size() > sizeof tail && n[n.size() - sizeof tail - 1] != ' ') return false;
  }
  return true;
}
static_assert(wellFormed());
}  // namespace vbiNames

// The name of a message id; empty outside 100..155.
constexpr std::string_view vbiMessageName(int id) {
  if (id < kFirstNamedMessage || id > kLastNamedMessage) return {};
  return kVbiMessageNames[static_cast<size_t>(id - kFirstNamedMessage)];
}

// One frame as the receive thread closed it: byte 0 is the low byte of the
// message id; `length` is signed and may be small or negative. Only byte 0
// decides; other messages are dropped. Runs on the receive thread.
void takeVbiFrame(DataPathContext& ctx, FrameView frame, int32_t length);

}  // namespace ferrolan
