#include "update/auto_update.h"

#include "link/command_sentences.h"
#include "link/serial_session.h"
#include "link/vbi_commands.h"
#include "link/version_query.h"
#include "platform/device_root.h"
#include "platform/line_speeds.h"
#include "update/auto_update_config.h"
#include "update/update_context.h"
#include "update/xmodem.h"

namespace ferrolan {

namespace {

constexpr uint8_t kEsc = 0x1B, kSpace = 0x20;

// The command path: the receiver erases its flash for three one-second
// naps, then its leftovers (one read of up to 80 bytes) are drained before
// the line goes to the download rate, which it is given 2 s to settle.
constexpr int kEraseNaps = 3;
constexpr uint32_t kEraseNapMs = 1000;
constexpr size_t kDrainBytes = 80;
constexpr uint32_t kRateSettleMs = 2000;
// The recovery path closes the port for 3 s before reopening it.
constexpr uint32_t kReopenPauseMs = 3000;
// The flash-kernel menu: what is read and left unexamined after each key
// (the menu, the confirmation prompt, the erase notice).
constexpr int kMenuReads = 440;
constexpr int kPromptReads = 30;
constexpr int kEraseNoticeReads = 20;
constexpr uint8_t kMenuChoiceUpdate = '1', kConfirmYes = 'y';

void purge(UpdateContext& ctx) {
  if (auto port = ctx.session.portHandle.get()) port->purge(kPurgeTxClear | kPurgeRxClear);
}

void closeFileAndPort(UpdateContext& ctx) {
  ctx.update.updateFile.reset();
  ctx.session.portHandle.reset();
}

// Opens "\<card>\<name>" as the update file; false when it cannot.
bool openFirmware(UpdateContext& ctx, const std::string& name) {
  findCardFolder(ctx);
  const std::string devicePath = "\\" + ctx.storage.cardFolder.get() + "\\" + name;
  auto file = UpdateFile::open(localPath(ctx.root, devicePath));
  if (!file) return false;
  ctx.update.updateFile.set(file);
  if (ctx.update.watch.opened) ctx.update.watch.opened(devicePath, file->size());
  return true;
}

bool sizeInWindow(UpdateContext& ctx) {
  auto file = ctx.update.updateFile.get();
  if (!file) return false;
  const uint64_t size = file->size();
  return size >= static_cast<uint64_t>(kAutoUpdateMinSize) && size <= static_cast<uint64_t>(kAutoUpdateMaxSize);
}

// Single-byte reads whose bytes nobody looks at.
void discardReads(UpdateContext& ctx, int count) {
  auto port = ctx.session.portHandle.get();
  for (int i = 0; i < count; ++i) {
    uint8_t b;
    if (port) port->readByte(b);
  }
}

void sendFileAndReport(UpdateContext& ctx, const std::string& name) {
  ctx.textLog.append(format("Updating \\%s Please Wait...", name.c_str()));
  if (xmodemSendFile(ctx)) {
    ctx.ui.setText(WindowId::TextPage, ids::kTextStatus, "OK");
    ctx.textLog.append("Update Successfully!  ");
    ctx.textLog.append("Please Reset Device To Make It Effect!  ");
  } else {
    ctx.ui.setText(WindowId::TextPage, ids::kTextStatus, "FAIL");
    ctx.textLog.append("Update Failed!  ");
    ctx.textLog.append("Power Off Device And Try Again!");
  }
}

void commandPath(UpdateContext& ctx, int version) {
  const std::string name =
      version == 5 ? ctx.autoUpdate.autoUpdateFileNameP2.get() : ctx.autoUpdate.autoUpdateFileName.get();
  if (!openFirmware(ctx, name)) {
    ctx.textLog.append("Can't Open FW File. ");
    return;  // the port stays open
  }
  if (!sizeInWindow(ctx)) {
    ctx.textLog.append("File size incorrect. ");
  } else if (!gpsSendNMEACommand(ctx, rows::kFirmwareEntry) && !gpsSendVBICommand(ctx, vbiRows::kFirmwareEntry, kVbiCommandSendCount)) {
    ctx.textLog.append("Fail in Update Command");
  } else {
    ctx.textLog.append("Erasing Flash, Please Wait...");
    for (int i = 0; i < kEraseNaps; ++i) ctx.clock.sleepMs(kEraseNapMs);
    purge(ctx);
    auto port = ctx.session.portHandle.get();
    uint8_t drain[kDrainBytes];
    if (port) port->read(drain, sizeof drain);
    LineSettings line;
    if (!port || !port->getLineSettings(line)) {
      ctx.textLog.append("GetCommState Failed.");
      ctx.session.portHandle.reset();
      return;
    }
    if (!port->setLineSettings(withReceiverLine(line, kUpdateBaud))) {
      ctx.textLog.append("SetCommState Failed ");
      ctx.session.portHandle.reset();
      return;
    }
    ctx.clock.sleepMs(kRateSettleMs);
    purge(ctx);
    sendFileAndReport(ctx, name);
  }
  closeFileAndPort(ctx);
}

void recoveryPath(UpdateContext& ctx) {
  ctx.textLog.append("Recovering... ");
  ctx.session.portHandle.reset();
  ctx.clock.sleepMs(kReopenPauseMs);
  if (!openPort(ctx, ctx.session.portName.get(), kUpdateBaud)) {
    ctx.textLog.append("COM port open Failed!");
    return;
  }
  purge(ctx);
  const std::string name = ctx.autoUpdate.autoUpdateFileName.get();
  if (!openFirmware(ctx, name)) {
    ctx.textLog.append("Can't Open FW File. ");
    return;
  }
  if (!sizeInWindow(ctx)) {
    ctx.textLog.append("File size incorrect. ");
  } else if (waitForLoaderReady(ctx)) {
    ctx.textLog.append("Message Received. ");
    for (uint8_t key : {kSpace, kEsc, kSpace, kEsc}) writeByte(ctx, key);
    discardReads(ctx, kMenuReads);
    writeByte(ctx, kMenuChoiceUpdate);
    discardReads(ctx, kPromptReads);
    writeByte(ctx, kConfirmYes);
    discardReads(ctx, kEraseNoticeReads);
    sendFileAndReport(ctx, name);
  } else {
    ctx.textLog.append("NO Message Received. ");
    ctx.textLog.append("Power Off Device And Try Again!");
  }
  closeFileAndPort(ctx);
}

}  // namespace

void AutoUpdateThread(UpdateContext& ctx) {
  ReceiverSession& s = ctx.session;
  ++s.autoUpdateRunning;
  struct Done {
    std::atomic<int>& running;
    ~Done() { --running; }
  } done{s.autoUpdateRunning};
  ctx.update.updateFile.reset();
  if (!openPort(ctx, s.portName.get(), decimalValue(s.baudText.get()))) {
    ctx.textLog.append("COM port open Failed!  ");
    return;
  }
  purge(ctx);
  queryFirmwareVersion(ctx);
  const int version = s.firmwareVersion;
  if (version == 2 || version == 3 || version == 5)
    commandPath(ctx, version);
  else
    recoveryPath(ctx);
}

}  // namespace ferrolan
