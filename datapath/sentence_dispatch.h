#pragma once
// Sorts each NMEA line by its type: the lines that are shown are stored and
// their event signalled; the display thread waits on the events and runs
// the refresh routine of the one that fired.

#include <array>
#include <string_view>

#include "datapath/data_path_context.h"
#include "platform/worker.h"

namespace ferrolan {

// One emitted line, on the receive thread. Only prefix tests and two
// character reads happen here; decoding waits for the display thread.
void dispatchSentence(DataPathContext& ctx, std::string_view line);

// The display thread's own event for its barrier; not one of the twelve.
inline constexpr const char* kDisplayBarrierEventName = "ferrolanEvtDisplayBarrier";

// The twelve named events, opened and published for signalling. Both
// threads open them: a sentence read before the display thread waits is
// then kept by its event, not lost.
using SentenceEvents = std::array<EventHandle, sentenceEvents::kCount>;
SentenceEvents openSentenceEvents(DataPathContext& ctx);

// The display thread: opens the events, then serves them in their order,
// the barrier's last, until stopped.
void runDisplayThread(DataPathContext& ctx, WorkerControl& ctl);

}  // namespace ferrolan
