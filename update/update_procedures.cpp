#include "update/update_procedures.h"

#include <array>

#include "core/text.h"
#include "link/command_sentences.h"
#include "link/serial_session.h"
#include "link/vbi_commands.h"
#include "platform/device_root.h"
#include "platform/line_speeds.h"
#include "update/update_context.h"
#include "update/xmodem.h"

namespace ferrolan {

namespace {

using W = WindowId;

constexpr uint8_t kEsc = 0x1B;
// Key strings: ESC is \x1b.
constexpr std::string_view kEscSpace = "\x1b ", kEscSpaceTwice = "\x1b \x1b ", kSpaceEscTwice = " \x1b \x1b";
constexpr uint32_t kSecondMs = 1000;
constexpr uint32_t kReopenPauseMs = 3000;
constexpr uint32_t kRateSettleMs = 2000;
constexpr uint32_t kKeyPauseMs = 500;
constexpr size_t kDrainBytes = 80;
constexpr const char* kSpramStart = "Start to update SPRAM file     ";

// How a procedure asks the running firmware for its download state.
struct CommandEntry {
  const char* beforeSentence;
  int sentenceRow;
  const char* beforeFallback;  // null: no VBI fallback
  int vbiRow;
  const char* failure;
  int seconds;  // paused after the acknowledgement
};

constexpr CommandEntry kFlashKernelEntry{"Send NMEA Commmand.", rows::kFlashKernelEntry, "Send VBI Commmand.",
                                         vbiRows::kFlashKernelEntry, "Fail in gpsSendVBICommand", 5};
constexpr CommandEntry kFsaEntry{"Send NMEA Command", rows::kFsaEntry, "Send VBI Command", vbiRows::kFsaEntry,
                                 "Fail in gpsSendVBICommand!", 1};
constexpr CommandEntry kFirmwareEntry{"Send NMEA Command", rows::kFirmwareEntry, "Send VBI Command",
                                      vbiRows::kFirmwareEntry, "Fail in gpsSendVBICommand", 2};
constexpr CommandEntry kAllImageEntry{"Send NMEA Command", rows::kAllImageEntry, nullptr, -1,
                                      "Fail in gpsSendNMEACommand", 5};

// A walk through the flash kernel's menu: the keys that bring it up, the
// echo of the menu, the section's key, the echo of its prompt, "y" and
// the echo of what the kernel says before the upload.
struct MenuWalk {
  std::string_view keys;
  int menuReads;
  uint8_t section;
  int promptReads;
  int confirmReads;
  uint32_t keyPauseMs = 0;  // before the section key and before "y"
};

constexpr uint8_t kKeyFlashKernel = '0', kKeyFirmware = '1', kKeyFsa = '9', kKeyAllImage = 'b', kKeyYes = 'y';
constexpr uint8_t kKeyRomDownload = '1';

// Menu keys go out one byte at a time, with no pause between them.
void sendKeys(UpdateContext& ctx, std::string_view keys) {
  for (char k : keys) writeByte(ctx, static_cast<uint8_t>(k));
}

void walkMenu(UpdateContext& ctx, const MenuWalk& m) {
  sendKeys(ctx, m.keys);
  echoReceiverText(ctx, m.menuReads, 40);
  if (m.keyPauseMs) ctx.clock.sleepMs(m.keyPauseMs);
  writeByte(ctx, m.section);
  echoReceiverText(ctx, m.promptReads, m.promptReads);
  if (m.keyPauseMs) ctx.clock.sleepMs(m.keyPauseMs);
  writeByte(ctx, kKeyYes);
  echoReceiverText(ctx, m.confirmReads, m.confirmReads);
}

// The boot ROM's menu: ESC keys until it answers, then "1" to download.
void walkRomMenu(UpdateContext& ctx, int escapes) {
  for (int i = 0; i < escapes; ++i) writeByte(ctx, kEsc);
  echoReceiverText(ctx, 120, 40);
  writeByte(ctx, kKeyRomDownload);
  echoReceiverText(ctx, 40, 40);
  showUpdateStatus(ctx, kSpramStart);
}

void progressCheck(UpdateContext& ctx) {
  if (!ctx.ui.hasControl(W::UpdateFirmware, ids::kUpdProgress)) showUpdateStatus(ctx, "Can't get Progress HWND");
}

bool commandEntry(UpdateContext& ctx, const CommandEntry& e) {
  showUpdateStatus(ctx, e.beforeSentence);
  if (!gpsSendNMEACommand(ctx, e.sentenceRow)) {
    if (!e.beforeFallback) {
      showUpdateStatus(ctx, e.failure);
      return false;
    }
    showUpdateStatus(ctx, e.beforeFallback);
    if (!gpsSendVBICommand(ctx, e.vbiRow, kVbiCommandSendCount)) {
      showUpdateStatus(ctx, e.failure);
      return false;
    }
  }
  showUpdateStatus(ctx, "Command ACK Recived");
  for (int i = 0; i < e.seconds; ++i) ctx.clock.sleepMs(kSecondMs);
  return true;
}

enum class LineReset { Done, ReadFailed, WriteFailed };

LineReset resetLine(UpdateContext& ctx) {
  auto port = ctx.session.portHandle.get();
  LineSettings line;
  if (!port || !port->getLineSettings(line)) return LineReset::ReadFailed;
  if (!port->setLineSettings(withReceiverLine(line, kUpdateBaud))) return LineReset::WriteFailed;
  return LineReset::Done;
}

// The line re-set whose failures end the procedure.
bool resetLineOrSay(UpdateContext& ctx) {
  switch (resetLine(ctx)) {
    case LineReset::Done: return true;
    case LineReset::ReadFailed: showUpdateStatus(ctx, "GetCommState Failed."); return false;
    case LineReset::WriteFailed: showUpdateStatus(ctx, "SetCommState Failed."); return false;
  }
  return false;
}

bool reopen(UpdateContext& ctx) {
  ctx.session.portHandle.reset();
  ctx.clock.sleepMs(kReopenPauseMs);
  if (openPort(ctx, ctx.session.portName.get(), static_cast<int>(kUpdateBaud))) return true;
  showUpdateStatus(ctx, "COM port open Failed!");
  return false;
}

void drain(UpdateContext& ctx) {
  uint8_t buf[kDrainBytes];
  if (auto port = ctx.session.portHandle.get()) port->read(buf, sizeof buf);
}

void sendAndReport(UpdateContext& ctx, const char* completed, const char* failed) {
  showUpdateStatus(ctx, xmodemSendFile(ctx) ? completed : failed);
}

// The boot-ROM path of the flash-kernel update asks for the file again:
// the one chosen, or the box's when the dialog is cancelled.
void chooseFileAgain(UpdateContext& ctx) {
  if (auto path = ctx.ui.openFile(kUpdateFileTitle, kUpdateFileFilter)) {
    if (ctx.ui.isOpen(W::UpdateFirmware))
      ctx.ui.setText(W::UpdateFirmware, ids::kUpdFileName, *path);
    else
      ctx.update.menuFileName.set(*path);
  }
}

// How every procedure opens: a port to work on, said in the procedure's own
// words when there is none, and the workers off it.
bool takePort(UpdateContext& ctx, const char* noPort) {
  if (!ctx.session.portHandle.valid()) {
    showUpdateStatus(ctx, noPort);
    return false;
  }
  return stopWorkers(ctx);
}

// Marks the process as updating for the procedure's run: the shutdown
// leaves such a thread to end with the process instead of waiting for it.
class Running {
 public:
  explicit Running(UpdateContext& ctx) : flag_(ctx.update.procedureRunning) { ++flag_; }
  ~Running() { --flag_; }
  Running(const Running&) = delete;
  Running& operator=(const Running&) = delete;

 private:
  std::atomic<int>& flag_;
};

}  // namespace

bool openNamedUpdateFile(UpdateContext& ctx) {
  ctx.update.updateFile.reset();
  std::string name;
  if (ctx.ui.isOpen(W::UpdateFirmware)) {
    name = ctx.ui.text(W::UpdateFirmware, ids::kUpdFileName);
    if (name.size() > kFileNameBoxChars) name.resize(kFileNameBoxChars);
  } else {
    name = ctx.update.menuFileName.get();
  }
  if (name.empty()) return false;
  const std::string path = name.front() == '\\' ? localPath(ctx.root, name) : name;
  auto file = UpdateFile::open(path);
  if (!file) return false;
  ctx.update.updateFile.set(file);
  return true;
}

bool stopWorkers(UpdateContext& ctx) {
  ReceiverSession& s = ctx.session;
  // Cooperative stops cannot fail: each worker ends at its next safe point
  // and never touches the port or the session again.
  for (SharedHandle<Worker>* h : {&s.receiveThread, &s.displayThread, &s.commandThread}) {
    auto w = h->get();
    if (!w || w->isCurrentThread()) continue;
    w->stop();
    h->reset();
  }
  return true;
}

std::string echoReceiverText(UpdateContext& ctx, int n, int lineReads) {
  auto port = ctx.session.portHandle.get();
  std::string all, line;
  for (int i = 1; i <= n; ++i) {
    uint8_t b;
    if (port && port->readByte(b)) {
      all.push_back(static_cast<char>(b));
      // A zero byte would end the line on the way to the list; it shows as nothing.
      if (b != 0) line.push_back(static_cast<char>(b));
    }
    if (lineReads > 0 && (i + 1) % lineReads == 0) {
      ctx.textLog.append(latin1ToUtf8(line));
      line.clear();
    }
  }
  return all;
}

void updateFlashKernel(UpdateContext& ctx) {
  Running running(ctx);
  progressCheck(ctx);
  showUpdateStatus(ctx, "Start to update flash kernel.");
  if (!stopWorkers(ctx)) return;
  if (probeStream(ctx)) {
    if (!commandEntry(ctx, kFlashKernelEntry)) return;
    if (!resetLineOrSay(ctx)) return;
    ctx.clock.sleepMs(kRateSettleMs);
    openNamedUpdateFile(ctx);
    if (!waitForLoaderReady(ctx)) {
      // The kernel went straight to receiving.
      return sendAndReport(ctx, "Update FK Completed.", "Update FK Failed.");
    }
    walkMenu(ctx, {kEscSpace, 320, kKeyFlashKernel, 30, 20});
    openNamedUpdateFile(ctx);
    return sendAndReport(ctx, "Update Completed.", "Update Failed.");
  }
  showUpdateStatus(ctx, "Go to Flash Kernel.");
  if (!reopen(ctx)) return;
  showUpdateStatus(ctx, "Please Turn Off And On Power!");
  if (waitForLoaderReady(ctx)) {
    walkMenu(ctx, {kEscSpaceTwice, 440, kKeyFlashKernel, 30, 30});
    openNamedUpdateFile(ctx);
    return sendAndReport(ctx, "Update Completed.", "Update Failed.");
  }
  showUpdateStatus(ctx, "No Flash Kernel,Go to I-ROM.");
  if (!reopen(ctx)) return;
  showUpdateStatus(ctx, "Please Turn Off And On Power!");
  ctx.clock.sleepMs(kKeyPauseMs);
  walkRomMenu(ctx, 12);
  if (!xmodemSendLoader(ctx, ReceiverGeneration::PI)) {
    showUpdateStatus(ctx, "Update Failed. Please Exit AP ");
    return;
  }
  echoReceiverText(ctx, 20, 20);
  showUpdateStatus(ctx, "Start to update All-Image.");
  ctx.update.updateFile.reset();
  chooseFileAgain(ctx);
  if (!openNamedUpdateFile(ctx)) {
    showUpdateStatus(ctx, "Open File Failed. Please Exit AP");
    return;
  }
  sendAndReport(ctx, "Update  Completed. Please Exit AP", "Update  Failed.Please Exit AP");
  ctx.update.updateFile.reset();
}

void updateFsa(UpdateContext& ctx) {
  Running running(ctx);
  progressCheck(ctx);
  if (!takePort(ctx, "COM Port not opened...")) return;
  showUpdateStatus(ctx, "Start to update FSA.");
  if (probeStream(ctx)) {
    if (!commandEntry(ctx, kFsaEntry)) return;
    drain(ctx);
    resetLine(ctx);  // its failures are not looked at here
    openNamedUpdateFile(ctx);
    if (xmodemSendFile(ctx)) {
      showUpdateStatus(ctx, "Update FSA success...!");
    } else {
      showUpdateStatus(ctx, "Update FSA fail... ");
      ctx.clock.sleepMs(kSecondMs);
      showUpdateStatus(ctx, "Please update FW again!");
    }
    return;
  }
  if (!reopen(ctx)) return;
  if (!waitForLoaderReady(ctx)) {
    showUpdateStatus(ctx, "Please update Flash-Kernel first.");
    return;
  }
  showUpdateStatus(ctx, "Go to Flash-Kernel.");
  walkMenu(ctx, {kSpaceEscTwice, 320, kKeyFsa, 30, 20});
  openNamedUpdateFile(ctx);
  sendAndReport(ctx, "Update Completed.", "Update Failed.");
}

void updateFirmware(UpdateContext& ctx) {
  Running running(ctx);
  progressCheck(ctx);
  if (!takePort(ctx, "COM Port Not Opened")) return;
  if (probeStream(ctx)) {
    if (!commandEntry(ctx, kFirmwareEntry)) return;
    drain(ctx);
    showUpdateStatus(ctx, "Flash erased.");
    if (!resetLineOrSay(ctx)) return;
    openNamedUpdateFile(ctx);
    if (!waitForLoaderReady(ctx)) {
      sendAndReport(ctx, "Update FW Completed.", "Update FW Failed.");
      ctx.update.updateFile.reset();
      return;
    }
    showUpdateStatus(ctx, "Go to Flash-Kernel");
    walkMenu(ctx, {kSpaceEscTwice, 320, kKeyFirmware, 30, 20});
  } else {
    if (!reopen(ctx)) return;
    showUpdateStatus(ctx, "Power Off and On Device!");
    if (!waitForLoaderReady(ctx)) {
      showUpdateStatus(ctx, "Update Flash-Kernel First.");
      return;
    }
    sendKeys(ctx, "  ");
    showUpdateStatus(ctx, "Go to Flash-Kernel");
    walkMenu(ctx, {{}, 440, kKeyFirmware, 30, 20});
  }
  openNamedUpdateFile(ctx);
  sendAndReport(ctx, "Update FW Completed.", "Update FW Failed.");
}

void updateAllImage(UpdateContext& ctx) {
  Running running(ctx);
  if (!takePort(ctx, "COM Port Not Opened")) return;
  if (probeStream(ctx)) {
    if (!commandEntry(ctx, kAllImageEntry)) return;
    drain(ctx);
    showUpdateStatus(ctx, "Wait...");
    auto port = ctx.session.portHandle.get();
    LineSettings line;
    if (!port || !port->getLineSettings(line)) {
      showUpdateStatus(ctx, "GetCommState Failed.");
      return;
    }
    // Only the rate changes; the rest stays as the port reports it.
    line.baud = kUpdateBaud;
    port->purge(kPurgeTxAbort | kPurgeRxAbort);
    if (!port->setLineSettings(line)) {
      showUpdateStatus(ctx, "SetCommState Failed.");
      return;
    }
    openNamedUpdateFile(ctx);
    sendAndReport(ctx, "Update FW Completed.", "Update FW Failed.");
    ctx.update.updateFile.reset();
    return;
  }
  if (!reopen(ctx)) return;
  showUpdateStatus(ctx, "Please Turn Off And On Device Power");
  if (waitForLoaderReady(ctx)) {
    showUpdateStatus(ctx, "zzz received.");
    walkMenu(ctx, {kEscSpaceTwice, 440, kKeyAllImage, 40, 15, kKeyPauseMs});
    openNamedUpdateFile(ctx);
    return sendAndReport(ctx, "Update Completed", "Update Failed.");
  }
  showUpdateStatus(ctx, "No Flash Kernel,Go to I-ROM.");
  ctx.session.portHandle.reset();
  showUpdateStatus(ctx, "Please Turn Off And On Device Power");
  ctx.clock.sleepMs(kReopenPauseMs);
  if (!openPort(ctx, ctx.session.portName.get(), static_cast<int>(kUpdateBaud))) {
    showUpdateStatus(ctx, "COM port open Failed!");
    return;
  }
  const std::string greeting = echoReceiverText(ctx, 15, 15);
  const ReceiverGeneration generation =
      greeting.find("Press ESC") != std::string::npos ? ReceiverGeneration::PII : ReceiverGeneration::PI;
  ctx.clock.sleepMs(kKeyPauseMs);
  walkRomMenu(ctx, 9);
  showUpdateStatus(ctx, generation == ReceiverGeneration::PII ? "Update mode PII     " : "Update mode PI     ");
  if (!xmodemSendLoader(ctx, generation)) {
    showUpdateStatus(ctx, "Fail to update SPRAM. ");
    return;
  }
  for (int reads : {20, 40, 40, 20}) echoReceiverText(ctx, reads, reads);
  showUpdateStatus(ctx, "Start to update All-Image.");
  if (!openNamedUpdateFile(ctx)) {
    showUpdateStatus(ctx, "Open File Failed.");
    return;
  }
  sendAndReport(ctx, "Update  Completed.", "Update  Failed.");
  ctx.update.updateFile.reset();
}

}  // namespace ferrolan
