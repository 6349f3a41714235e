#include "control/command_thread.h"

#include <memory>
#include <string>

#include "control/data_log.h"
#include "core/text.h"
#include "datapath/stream_framer.h"
#include "link/command_sentences.h"
#include "link/link_context.h"
#include "link/serial_session.h"
#include "link/vbi_commands.h"
#include "link/version_query.h"
#include "ui/ids.h"

namespace ferrolan {

namespace {

namespace ev = commandEvents;

// Holds the receive thread parked (between its port reads) for as long as
// it lives, or until resume().
class ReceiveHold {
 public:
  explicit ReceiveHold(ReceiverSession& s) : worker_(s.receiveThread.get()) {
    if (worker_) worker_->suspend();
  }
  ~ReceiveHold() { resume(); }
  void resume() {
    if (worker_) worker_->resume();
    worker_.reset();
  }

 private:
  std::shared_ptr<Worker> worker_;
};

void runOrSayMissing(CommandContext& ctx, const std::function<void()>& procedure, const char* what) {
  if (procedure)
    procedure();
  else
    ctx.link.textLog.append(format("Not in this build: %s", what));
}

void restart(CommandContext& ctx, RestartKind kind, bool (*command)(LinkContext&)) {
  ReceiverSession& s = ctx.link.session;
  // The guard is one step: of two restarts, only one gets through.
  RestartKind idle = RestartKind::None;
  if (!s.restartKind.compare_exchange_strong(idle, kind)) return;
  ReceiveHold hold(s);
  ctx.link.ui.setText(WindowId::InfoPage, ids::kInfoTtff, "Wait...");
  command(ctx.link);
  ctx.link.clock.sleepMs(kRestartHoldMs);
  s.stopRequested = false;
}

void switchStream(CommandContext& ctx, bool toNmea) {
  ReceiveHold hold(ctx.link.session);
  toNmea ? sendSwitchToNmea(ctx.link) : sendSwitchToVbi(ctx.link);
  // Switched whether or not the receiver acknowledged.
  ctx.link.session.protocolMode = toNmea ? ProtocolMode::Nmea : ProtocolMode::Vbi;
  ctx.lineSync.sentenceOpen = false;
  ctx.lineSync.sentenceSynced = false;
}

// The procedure stops the receive thread itself once it takes the port;
// one that ends before that (no file chosen) gets it back running.
void update(CommandContext& ctx, const std::function<void()>& procedure, const char* what) {
  ReceiveHold hold(ctx.link.session);
  runOrSayMissing(ctx, procedure, what);
}

void run(CommandContext& ctx, int event) {
  CommandProcedures& p = ctx.procedures;
  switch (event) {
    case ev::kHotStart: return restart(ctx, RestartKind::Hot, gpsHotStart);
    case ev::kWarmStart: return restart(ctx, RestartKind::Warm, gpsWarmStart);
    case ev::kColdStart: return restart(ctx, RestartKind::Cold, gpsColdStart);
    case ev::kReset:
      sendEphemerisPrologue(ctx.link);
      runOrSayMissing(ctx, p.ephemerisUpload, "the long-term ephemeris upload");
      sendEphemerisEpilogue(ctx.link);
      return;
    case ev::kFwUpdate: return update(ctx, p.firmwareUpdate, "the firmware update");
    case ev::kFkUpdate: return update(ctx, p.flashKernelUpdate, "the flash kernel update");
    case ev::kSpUpdate: return update(ctx, p.fsaUpdate, "the FSA update");
    case ev::kAllUpdate: return update(ctx, p.allImageUpdate, "the all-image update");
    case ev::kFwVersion: {
      ReceiveHold hold(ctx.link.session);
      queryFirmwareVersion(ctx.link);
      return;
    }
    case ev::kStartLog: return startLogging(ctx.log);
    case ev::kStopLog: return stopLogging(ctx.log);
    case ev::kToNmea: return switchStream(ctx, true);
    case ev::kToVbi: return switchStream(ctx, false);
    case ev::kBaudRate: return switchBaudRate(ctx.link);
    default: return;
  }
}

}  // namespace

void runCommandThread(CommandContext& ctx, WorkerControl& ctl) {
  std::array<EventHandle, ev::kCount> byField;
  for (int field : kCommandEventCreationOrder)
    byField[static_cast<size_t>(field)] = ctx.openEvents.open(std::string(kCommandEventNames[static_cast<size_t>(field)]));
  std::array<EventHandle, ev::kCount> waitArray;
  for (size_t i = 0; i < waitArray.size(); ++i) waitArray[i] = byField[static_cast<size_t>(kCommandEventWaitOrder[i])];
  while (ctl.checkpoint()) {
    const int index = ctx.events.waitForAny(waitArray, EventRegistry::kInfinite, &ctl.cancelToken());
    if (index < 0 || index >= ev::kCount) continue;  // a stop ends at the checkpoint
    run(ctx, kCommandEventWaitOrder[static_cast<size_t>(index)]);
  }
}

}  // namespace ferrolan
