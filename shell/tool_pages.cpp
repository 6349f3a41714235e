#include "shell/tool_pages.h"

#include <algorithm>
#include <initializer_list>
#include <memory>
#include <string>

#include "app/context.h"
#include "core/text.h"
#include "driver/driver_install.h"
#include "link/command_sentences.h"
#include "link/settings_dialogs.h"
#include "platform/line_speeds.h"
#include "shell/front_end.h"
#include "shell/shutdown.h"
#include "shell/small_dialogs.h"
#include "update/update_dialog.h"

namespace ferrolan {

namespace {

namespace ev = commandEvents;
using A = CommandAction;
using W = WindowId;

constexpr MenuEdits edits(std::initializer_list<MenuEdit> list) {
  MenuEdits m;
  for (const MenuEdit& e : list) m.edits[m.count++] = e;
  return m;
}

constexpr MenuEdit grey(int command) { return {command, false}; }
constexpr MenuEdit enable(int command) { return {command, true}; }

constexpr int dialog(W w) { return static_cast<int>(w); }

constexpr CommandRow kDispatchRows[] = {
    {ids::kOk, A::EndSheet, 0, {}},
    {ids::kCancel, A::EndSheet, 0, {}},
    {ids::kInfoColdStart, A::SetEvent, ev::kColdStart, {}},
    {ids::kInfoStop, A::Stop, 0, {}},
    {ids::kInfoSortBySvid, A::SortMode, kSortById, {}},
    {ids::kInfoSortByCno, A::SortMode, kSortBySignal, {}},
    {ids::kInfoSortReceiver, A::SortMode, kSortReceiverOrder, {}},
    {ids::kInfoClean, A::Clean, 0, {}},
    {ids::kInfoSort, A::SortCycle, 0, {}},
    {ids::kInfoFwVersion, A::SetEvent, ev::kFwVersion, {}},
    {ids::kCmdCommSetting, A::Dialog, dialog(W::ComPortSetup),
     edits({grey(ids::kCmdToNmea), enable(ids::kCmdStartLog), grey(ids::kCmdStopLog)}), true},
    {ids::kCmdToNmea, A::SetEvent, ev::kToNmea, edits({grey(ids::kCmdToNmea), enable(ids::kCmdToVbi)})},
    {ids::kCmdToVbi, A::SetEvent, ev::kToVbi, edits({grey(ids::kCmdToVbi), enable(ids::kCmdToNmea)})},
    {ids::kCmdExit, A::EndSheet, 0, {}},
    {ids::kCmdHotStart, A::SetEvent, ev::kHotStart, {}},
    {ids::kCmdWarmStart, A::SetEvent, ev::kWarmStart, {}},
    {ids::kCmdColdStart, A::SetEvent, ev::kColdStart, {}},
    {ids::kCmdReset, A::SetEvent, ev::kReset, {}},
    {ids::kCmdFwUpdate, A::Dialog, dialog(W::UpdateFirmware), {}},
    {ids::kCmdFwVersion, A::SetEvent, ev::kFwVersion, {}},
    {ids::kCmdStartLog, A::StartLog, ev::kStartLog,
     edits({grey(ids::kCmdToNmea), grey(ids::kCmdToVbi), grey(ids::kCmdStartLog), enable(ids::kCmdStopLog)})},
    {ids::kCmdStopLog, A::StopLog, ev::kStopLog, edits({enable(ids::kCmdStartLog), grey(ids::kCmdStopLog)})},
    {ids::kCmdAbout, A::Dialog, dialog(W::About), {}},
    {kLineSpeeds[0].commandId, A::Baud, 0, {}},
    {kLineSpeeds[1].commandId, A::Baud, 1, {}},
    {kLineSpeeds[2].commandId, A::Baud, 2, {}},
    {kLineSpeeds[3].commandId, A::Baud, 3, {}},
    {kLineSpeeds[4].commandId, A::Baud, 4, {}},
    {kLineSpeeds[5].commandId, A::Baud, 5, {}},
    {ids::kCmdFkUpdate, A::SetEvent, ev::kFkUpdate, {}},
    {ids::kCmdSpUpdate, A::SetEvent, ev::kSpUpdate, {}},
    {ids::kCmdSingleChannel, A::Dialog, dialog(W::SingleChannel), {}},
    {ids::kCmdAllUpdate, A::SetEvent, ev::kAllUpdate, {}},
    {ids::kCmdDualPort, A::Dialog, dialog(W::DriverInstall), {}},
    // The long-term ephemeris upload runs on the reset event.
    {ids::kCmdVgan, A::SetEvent, ev::kReset, {}},
    {ids::kCmdFsaModify, A::Dialog, dialog(W::FsaModify), {}},
};

// The commands that go out to the receiver (or take its line): a playback
// has none to send them to.
constexpr int kReceiverCommands[] = {
    ids::kInfoColdStart,     ids::kInfoFwVersion, ids::kCmdCommSetting, ids::kCmdToNmea,      ids::kCmdToVbi,
    ids::kCmdHotStart,       ids::kCmdWarmStart,  ids::kCmdColdStart,   ids::kCmdReset,       ids::kCmdFwUpdate,
    ids::kCmdFwVersion,      ids::kCmdFkUpdate,   ids::kCmdSpUpdate,    ids::kCmdAllUpdate,   ids::kCmdDualPort,
    ids::kCmdSingleChannel,  ids::kCmdVgan,       ids::kCmdFsaModify,   kLineSpeeds[0].commandId,
    kLineSpeeds[1].commandId, kLineSpeeds[2].commandId, kLineSpeeds[3].commandId, kLineSpeeds[4].commandId,
    kLineSpeeds[5].commandId,
};

constexpr bool rowsAreSound() {
  for (size_t i = 0; i < std::size(kDispatchRows); ++i) {
    const CommandRow& r = kDispatchRows[i];
    for (size_t j = 0; j < i; ++j)
      if (kDispatchRows[j].command == r.command) return false;  // one row per id
    if (r.action == A::Baud && (r.arg < 0 || static_cast<size_t>(r.arg) >= kLineSpeeds.size())) return false;
    if ((r.action == A::SetEvent || r.action == A::StartLog || r.action == A::StopLog) &&
        (r.arg < 0 || r.arg >= ev::kCount))
      return false;
  }
  return true;
}
static_assert(rowsAreSound());

constexpr bool receiverCommandsHaveRows() {
  for (int c : kReceiverCommands)
    if (std::none_of(std::begin(kDispatchRows), std::end(kDispatchRows), [c](const CommandRow& r) { return r.command == c; }))
      return false;
  return true;
}
static_assert(receiverCommandsHaveRows());
static_assert(std::size(kDispatchRows) == 36);

void applyEdits(UiModel& ui, W page, const MenuEdits& m) {
  for (size_t i = 0; i < m.count; ++i) ui.setMenuEnabled(page, m.edits[i].command, m.edits[i].enable);
}

void setEvent(Context& ctx, int field) {
  ctx.openEvents.open(std::string(kCommandEventNames[static_cast<size_t>(field)]))->set();
}

UpdateDialogActions updateDialogActions(Context& ctx) {
  UpdateDialogActions a;
  a.startThread = [&ctx](std::function<void()> body) {
    auto worker = std::make_shared<Worker>();
    if (!worker->start([body = std::move(body)](WorkerControl&) { body(); })) return false;
    ctx.app.updateThread.set(worker);
    return true;
  };
  a.quit = [&ctx] { shutDownAndQuit(ctx); };
  return a;
}

void runDialog(Context& ctx, SheetHost* host, W w) {
  if (!host) {
    ctx.textLog.append("No front end to show a dialog..");
    return;
  }
  DialogProcedures p;
  switch (w) {
    case W::ComPortSetup: p = comPortSetupProcedures(ctx, *host); break;
    case W::SingleChannel: p = singleChannelProcedures(ctx, *host); break;
    case W::FsaModify: p = fsaModifyProcedures(ctx, *host); break;
    case W::About: p = aboutProcedures(*host); break;
    case W::VbiLogSetting: p = vbiLogSettingProcedures(ctx.ui, ctx.log, ctx.app.availableMemory, *host); break;
    case W::UpdateFirmware: p = updateFirmwareProcedures(ctx, *host, updateDialogActions(ctx)); break;
    case W::DriverInstall: {
      if (!ctx.deviceManager) {
        ctx.textLog.append(kNoDeviceManagerText);
        return;
      }
      DriverContext driver{ctx, ctx, ctx.registry, ctx.root, *ctx.deviceManager, ctx.driverDevices};
      host->runDialog(w, driverInstallProcedures(driver, *host));
      return;
    }
    default: break;
  }
  host->runDialog(w, std::move(p));
}

}  // namespace

MenuEdits menuOnActivation(bool logFileOpen, bool connected, bool dualPortActive, ProtocolMode protocolMode) {
  if (logFileOpen) {
    if (!connected) return {};
    return edits({grey(ids::kCmdToNmea), grey(ids::kCmdToVbi), grey(ids::kCmdStartLog), enable(ids::kCmdStopLog)});
  }
  if (dualPortActive) return edits({grey(ids::kCmdToNmea), grey(ids::kCmdToVbi)});
  if (protocolMode == ProtocolMode::Vbi && connected)
    return edits({enable(ids::kCmdToNmea), grey(ids::kCmdToVbi), enable(ids::kCmdStartLog), grey(ids::kCmdStopLog)});
  return edits({grey(ids::kCmdToNmea), enable(ids::kCmdToVbi), enable(ids::kCmdStartLog), grey(ids::kCmdStopLog)});
}

bool goesToReceiver(int command) {
  return std::find(std::begin(kReceiverCommands), std::end(kReceiverCommands), command) != std::end(kReceiverCommands);
}

const CommandRow* findCommandRow(int command) {
  for (const CommandRow& r : kDispatchRows)
    if (r.command == command) return &r;
  return nullptr;
}

void createToolPage(Context& ctx, WindowId page) {
  if (page != W::InfoPage && page != W::SkyPage) return;
  // Both pages share one command thread; the first page starts it.
  if (!ctx.app.toolPagesCreated.exchange(true)) reportMissingEntries(ctx);
  if (!ctx.hooks.commandThread || ctx.session.commandThread.valid()) return;
  auto worker = std::make_shared<Worker>();
  worker->start(ctx.hooks.commandThread);
  ctx.session.commandThread.set(worker);
}

void activateToolPage(Context& ctx, WindowId page, bool active) {
  std::atomic<bool>* flag = page == W::InfoPage  ? &ctx.display.infoPageActive
                           : page == W::SkyPage ? &ctx.display.skyPageActive
                                                : nullptr;
  if (!flag) return;  // the Text page keeps no flag and has no menu
  *flag = active ? 1 : 0;
  if (!active) return;
  applyEdits(ctx.ui, page,
             menuOnActivation(ctx.log.logFileOpen, ctx.session.connected, ctx.session.dualPortActive,
                              ctx.session.protocolMode));
}

void dispatchCommand(Context& ctx, SheetHost* host, WindowId page, int command) {
  if (ctx.app.sheetClosing) return;
  const CommandRow* row = findCommandRow(command & 0xFFFF);
  if (!row) return;
  if (ctx.session.playback && goesToReceiver(row->command)) {
    ctx.textLog.append(kPlaybackNoReceiverText);
    return;
  }
  switch (row->action) {
    case A::EndSheet: shutDownAndQuit(ctx); return;
    case A::SetEvent: setEvent(ctx, row->arg); break;
    case A::Stop:
      ctx.session.stopRequested = true;
      ctx.session.restartKind = RestartKind::None;
      break;
    case A::SortMode: ctx.display.sortMode = row->arg; break;
    case A::SortCycle: ctx.display.sortMode = ctx.display.sortMode % 3 + 1; break;
    case A::Clean:
      if (ctx.session.clearSatelliteDisplay)
        ctx.session.clearSatelliteDisplay();
      else
        ctx.textLog.append(kNoSatelliteDisplayText);
      break;
    case A::Dialog: runDialog(ctx, host, static_cast<W>(row->arg)); break;
    case A::StartLog:
      if (ctx.session.protocolMode == ProtocolMode::Vbi) runDialog(ctx, host, W::VbiLogSetting);
      if (ctx.app.sheetClosing) return;  // the sheet closed under the dialog
      setEvent(ctx, row->arg);
      break;
    case A::StopLog:
      setEvent(ctx, row->arg);
      ctx.ui.setMenuEnabled(page, ctx.session.protocolMode == ProtocolMode::Vbi ? ids::kCmdToNmea : ids::kCmdToVbi, true);
      break;
    case A::Baud:
      // The command thread reads the rate when it wakes on the event.
      ctx.session.targetBaud = static_cast<int>(kLineSpeeds[static_cast<size_t>(row->arg)].baud);
      setEvent(ctx, ev::kBaudRate);
      break;
  }
  if (ctx.app.sheetClosing) return;
  if (!row->whenConnected || ctx.session.connected) applyEdits(ctx.ui, page, row->menu);
}

}  // namespace ferrolan
