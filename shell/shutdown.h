#pragma once
// The shutdown sequence: every handle is tested before use and marked
// invalid after, so the sequence may run twice.

#include <array>
#include <string_view>

#include "control/command_events.h"
#include "datapath/sentence_events.h"

namespace ferrolan {

struct Context;

// The named events in the order shutdown closes them: the command
// thread's, its baud-rate event last, with the display thread's before it.
inline constexpr auto kShutdownEventOrder = [] {
  std::array<std::string_view, kCommandEventNames.size() + kSentenceEventNames.size()> order{};
  size_t n = 0;
  for (size_t i = 0; i < kCommandEventNames.size(); ++i)
    if (i != commandEvents::kBaudRate) order[n++] = kCommandEventNames[i];
  for (std::string_view name : kSentenceEventNames) order[n++] = name;
  order[n] = kCommandEventNames[commandEvents::kBaudRate];
  return order;
}();
static_assert(kShutdownEventOrder.back() == "gpsEvtBaudRate" && kShutdownEventOrder[13] == "gpsEvtGPAPB");

// The line a closing sheet adds when no front end registered its quit.
inline constexpr const char* kNoQuitText = "No front end registered to quit..";

void runShutdown(Context& ctx);
// The end of the sheet from a page: commands stop, the shutdown runs, and
// the front end's quit message ends the program with 0.
void shutDownAndQuit(Context& ctx);

}  // namespace ferrolan
