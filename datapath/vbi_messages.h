#pragma once
// The binary messages: their display names, and the intake that keeps the
// two decoded ones (SV Measurements 120, PVT Solution 121) for the display
// thread.

#include <array>
#include <bit>
#include <cstdint>
#include <span>
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

// Message 121, PVT Solution, by payload offset: the fix type in the top
// three bits of byte 5, UTC hours, minutes, seconds, latitude, longitude
// (radians) and altitude (metres) as little-endian doubles, and two 4-bit
// states per byte for satellites 1 to 32.
namespace pvtLayout {
inline constexpr size_t kFixType = 5, kHours = 11, kLatitude = 18, kLongitude = 26, kAltitude = 34, kStates = 44,
                        kStateBytes = 16;
inline constexpr size_t kRead = kStates + kStateBytes;  // the payload bytes the decoder reads
inline constexpr uint8_t kFixMask = 0xE0, kFix3D = 0x60, kFix2D = 0x40;
inline constexpr int kUsedState = 6;  // and above: used in the fix
inline constexpr int kSatellites = 2 * static_cast<int>(kStateBytes);
}  // namespace pvtLayout

// Message 120, SV Measurements: the GPS week and the time of week in
// milliseconds open its header.
namespace measLayout {
inline constexpr size_t kWeek = 0, kTimeOfWeekMs = 2;
}  // namespace measLayout

enum class PvtFix : uint8_t { None, Fix2D, Fix3D };

struct PvtSolution {
  PvtFix fix = PvtFix::None;
  int hour = 0, minute = 0, second = 0;
  double latitudeRad = 0, longitudeRad = 0, altitudeM = 0;
  int used = 0;                                  // satellites used in the fix
  std::array<uint8_t, pvtLayout::kSatellites> usedIds{};  // the first `used` of them, ascending
};

// Decodes a PVT Solution payload; bytes past its end read as zero.
constexpr PvtSolution decodePvtSolution(std::span<const uint8_t> payload) {
  auto at = [&](size_t i) -> uint8_t { return i < payload.size() ? payload[i] : uint8_t{0}; };
  auto number = [&](size_t from) {
    uint64_t bits = 0;
    for (size_t i = 8; i-- > 0;) bits = bits << 8 | at(from + i);
    return std::bit_cast<double>(bits);
  };
  PvtSolution s;
  const uint8_t type = at(pvtLayout::kFixType) & pvtLayout::kFixMask;
  s.fix = type == pvtLayout::kFix3D ? PvtFix::Fix3D : type == pvtLayout::kFix2D ? PvtFix::Fix2D : PvtFix::None;
  s.hour = at(pvtLayout::kHours), s.minute = at(pvtLayout::kHours + 1), s.second = at(pvtLayout::kHours + 2);
  s.latitudeRad = number(pvtLayout::kLatitude);
  s.longitudeRad = number(pvtLayout::kLongitude);
  s.altitudeM = number(pvtLayout::kAltitude);
  for (size_t i = 0; i < pvtLayout::kStateBytes; ++i) {
    const uint8_t b = at(pvtLayout::kStates + i);
    const int states[2] = {b & 0x0F, b >> 4};
    for (int half = 0; half < 2; ++half)
      if (states[half] >= pvtLayout::kUsedState) s.usedIds[static_cast<size_t>(s.used++)] = static_cast<uint8_t>(2 * i + 1 + half);
  }
  return s;
}

// One frame as the receive thread closed it: byte 0 is the low byte of the
// message id; `length` is signed and may be small or negative. Only byte 0
// decides; other messages are dropped. Runs on the receive thread.
void takeVbiFrame(DataPathContext& ctx, FrameView frame, int32_t length);

}  // namespace ferrolan
