#pragma once
// The display thread's twelve named events, one per sentence or binary
// message it refreshes from, in the order it creates them; that is also its
// wait order, so the lowest signalled index is served first.

#include <array>
#include <string_view>

namespace ferrolan {

inline constexpr std::array<std::string_view, 12> kSentenceEventNames = {
    "gpsEvtGPAPB", "gpsEvtGPBOD", "gpsEvtGPGGA", "gpsEvtGPGLL", "gpsEvtGPGSA",      "gpsEvtGPGSV",
    "gpsEvtGPRMB", "gpsEvtGPRMC", "gpsEvtGPRTE", "gpsEvtGPWPL", "gpsEvtSVMEASDATA", "gpsEvtSVSOLUDATA",
};

// Indexes into kSentenceEventNames.
namespace sentenceEvents {
enum Index : int {
  kGpApb, kGpBod, kGpGga, kGpGll, kGpGsa, kGpGsv, kGpRmb, kGpRmc, kGpRte, kGpWpl, kSvMeasData, kSvSoluData, kCount
};
}  // namespace sentenceEvents
static_assert(sentenceEvents::kCount == kSentenceEventNames.size());

}  // namespace ferrolan
