#pragma once
// The command thread's fourteen named events. The names are listed once, in
// the order of their handle fields (which is also the order the shutdown
// closes them); the wait order and the creation order index into it.

#include <algorithm>
#include <array>
#include <string_view>

namespace ferrolan {

namespace commandEvents {
enum Field : int {
  kHotStart, kWarmStart, kColdStart, kReset, kFwUpdate, kFkUpdate, kSpUpdate,
  kAllUpdate, kFwVersion, kStartLog, kStopLog, kToNmea, kToVbi, kBaudRate, kCount
};
}  // namespace commandEvents

inline constexpr std::array<std::string_view, commandEvents::kCount> kCommandEventNames = {
    "gpsEvtHotStart", "gpsEvtWarmStart", "gpsEvtColdStart", "gpsEvtReset",    "gpsEvtFWUpdate",
    "gpsEvtFKUpdate", "gpsEvtSPUpdate",  "gpsEvtAllUpdate", "gpsEvtFWVersion", "gpsEvtStartLog",
    "gpsEvtStopLog",  "gpsEvtToNMEA",    "gpsEvtToVBI",     "gpsEvtBaudRate",
};

// Index i of the wait array; the lowest signalled index is served first.
inline constexpr std::array<int, commandEvents::kCount> kCommandEventWaitOrder = {
    commandEvents::kHotStart, commandEvents::kWarmStart, commandEvents::kColdStart, commandEvents::kReset,
    commandEvents::kFwUpdate, commandEvents::kFwVersion, commandEvents::kStartLog,  commandEvents::kStopLog,
    commandEvents::kToNmea,   commandEvents::kToVbi,     commandEvents::kBaudRate,  commandEvents::kFkUpdate,
    commandEvents::kSpUpdate, commandEvents::kAllUpdate,
};

inline constexpr std::array<int, commandEvents::kCount> kCommandEventCreationOrder = {
    commandEvents::kHotStart,  commandEvents::kWarmStart, commandEvents::kColdStart, commandEvents::kReset,
    commandEvents::kFkUpdate,  commandEvents::kSpUpdate,  commandEvents::kFwUpdate,  commandEvents::kAllUpdate,
    commandEvents::kFwVersion, commandEvents::kStartLog,  commandEvents::kStopLog,   commandEvents::kToNmea,
    commandEvents::kToVbi,     commandEvents::kBaudRate,
};

namespace commandEvents {
constexpr bool isPermutation(const std::array<int, kCount>& order) {
  std::array<int, kCount> sorted = order;
  std::sort(sorted.begin(), sorted.end());
  for (int i = 0; i < kCount; ++i)
    if (sorted[static_cast<size_t>(i)] != i) return false;
  return true;
}
static_assert(isPermutation(kCommandEventWaitOrder) && isPermutation(kCommandEventCreationOrder));
}  // namespace commandEvents

}  // namespace ferrolan
