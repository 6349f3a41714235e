#include "datapath/sentence_dispatch.h"

#include <algorithm>
#include <string>

#include "core/text.h"
#include "link/serial_session.h"

namespace ferrolan {

namespace {

enum class Action { None, Gga, Gsa, Gsv, Rmc, RestartAck };

struct Prefix {
  std::string_view text;
  Action action;
};

// Compared in this order; the first match decides.
constexpr Prefix kPrefixes[] = {
    {"$GPAPB", Action::None}, {"$GPBOD", Action::None}, {"$GPGGA", Action::Gga},
    {"$GPGLL", Action::None}, {"$GPGSA", Action::Gsa},  {"$GPGSV", Action::Gsv},
    {"$GPRMB", Action::None}, {"$GPRMC", Action::Rmc},  {"$GPRTE", Action::None},
    {"$GPWPL", Action::None}, {"$PKRV200,02", Action::RestartAck},
};

// GSV: the total-messages digit and the message-number digit.
constexpr size_t kGsvTotalAt = 7, kGsvNumberAt = 9;

void storeAndSignal(DataPathContext& ctx, StoreSlot slot, int event, std::string_view line) {
  ctx.data.sentences.store(slot, line);
  ctx.data.events.signal(event);
}

void takeGsv(DataPathContext& ctx, std::string_view line) {
  // Too short to hold the message number: neither stored nor complete.
  if (line.size() <= kGsvNumberAt) return;
  const char number = line[kGsvNumberAt];
  if (number >= '1' && number <= '5')
    ctx.data.sentences.store(static_cast<StoreSlot>(static_cast<int>(StoreSlot::Gsv1) + (number - '1')), line);
  if (number == line[kGsvTotalAt]) {
    ctx.data.sentences.gsvTotal = decimalValue(line.substr(kGsvTotalAt));
    ctx.data.events.signal(sentenceEvents::kGpGsv);
  }
}

}  // namespace

void dispatchSentence(DataPathContext& ctx, std::string_view line) {
  for (const Prefix& p : kPrefixes) {
    if (!line.starts_with(p.text)) continue;
    switch (p.action) {
      case Action::None:
        return;
      case Action::Gga:
        return storeAndSignal(ctx, StoreSlot::Gga, sentenceEvents::kGpGga, line);
      case Action::Gsa:
        return storeAndSignal(ctx, StoreSlot::Gsa, sentenceEvents::kGpGsa, line);
      case Action::Rmc:
        return storeAndSignal(ctx, StoreSlot::Rmc, sentenceEvents::kGpRmc, line);
      case Action::Gsv:
        return takeGsv(ctx, line);
      case Action::RestartAck:
        if (ctx.session.restartPending) {
          ctx.data.ttff.ttffStart = ctx.clock.tickCount();
          ctx.data.ttff.ttffRunning = true;
        }
        return;
    }
  }
}

SentenceEvents openSentenceEvents(DataPathContext& ctx) {
  SentenceEvents events;
  for (size_t i = 0; i < events.size(); ++i) {
    events[i] = ctx.openEvents.open(std::string(kSentenceEventNames[i]));
    ctx.data.events.publish(static_cast<int>(i), events[i]);
  }
  return events;
}

void runDisplayThread(DataPathContext& ctx, WorkerControl& ctl) {
  const SentenceEvents sentences = openSentenceEvents(ctx);
  // The barrier's event last: served only when no sentence event is set.
  std::array<EventHandle, sentenceEvents::kCount + 1> waitArray;
  std::copy(sentences.begin(), sentences.end(), waitArray.begin());
  waitArray.back() = ctx.events.create(kDisplayBarrierEventName);
  ctx.data.barrier.publish(waitArray.back());
  while (ctl.checkpoint()) {
    const int fired = ctx.events.waitForAny(waitArray, EventRegistry::kInfinite, &ctl.cancelToken());
    if (fired == sentenceEvents::kCount) ctx.data.barrier.runPosted();
    if (fired < 0 || fired >= sentenceEvents::kCount) continue;  // a stop ends at the checkpoint
    const RefreshRoutine& refresh = ctx.data.refresh[static_cast<size_t>(fired)];
    if (refresh) refresh();
  }
}

}  // namespace ferrolan
