#pragma once
// The three settings dialogs: COM Port Setup (connect and disconnect),
// Single Channel Mode and FSA Modify (the receiver's stored baud rate and
// sentence output rates). Each answers the procedure its dialog runs with;
// sentences go out with writeText on the UI thread, nothing awaits a reply.

#include <array>
#include <string_view>

#include "ui/dialog_host.h"

namespace ferrolan {

struct LinkContext;

inline constexpr std::string_view kLeaveSingleChannel = "$PKRV08,0*0B\r\n";
inline constexpr std::string_view kFsaClosingSentence = "$PKRV09,,*16\r\n";
inline constexpr size_t kDialogTextCapacity = 32;  // a box's text as read: 31 characters
inline constexpr int kSatelliteIds = 32;
inline constexpr uint32_t kStoredBaudPauseMs = 500, kRatePauseMs = 100;

// The receiver's rate code for each entry of the rate list, by position.
inline constexpr std::array<int, 6> kRateCodes = {0, 4, 5, 6, 7, 8};

// FSA Modify's eight rate boxes in the order their items are sent.
struct RateBox {
  int box;      // control id
  int item;     // the sentence's item number
  int initial;  // initial position in the rate list
};
inline constexpr std::array<RateBox, 8> kRateBoxes = {{
    {1112, 8, 1},   // RMC
    {1114, 9, 1},   // GGA
    {1117, 10, 0},  // GLL
    {1115, 11, 1},  // GSA
    {1116, 12, 1},  // GSV
    {1119, 13, 0},  // ALM
    {1118, 14, 0},  // VTG
    {1120, 15, 0},  // ZDA
}};
static_assert([] {
  for (size_t i = 1; i < kRateBoxes.size(); ++i)
    if (kRateBoxes[i].item != kRateBoxes[i - 1].item + 1) return false;
  return kRateBoxes.front().item == 8;
}());

DialogProcedures comPortSetupProcedures(LinkContext& ctx, DialogHost& host);
DialogProcedures singleChannelProcedures(LinkContext& ctx, DialogHost& host);
DialogProcedures fsaModifyProcedures(LinkContext& ctx, DialogHost& host);

}  // namespace ferrolan
