#include "control/data_log.h"

#include <algorithm>
#include <new>
#include <utility>

#include "core/text.h"
#include "platform/device_root.h"
#include "ui/ids.h"

namespace ferrolan {

namespace {

constexpr uint32_t kLastSequence = 99;  // a VBI name taken past this one ends the tries

bool binaryMode(LogContext& ctx) { return ctx.protocolMode == ProtocolMode::Vbi; }

uint32_t capacityInUse(const LogBuffer& log) {
  const uint32_t chosen = log.logCapacity ? log.logCapacity.load() : kDefaultLogCapacity;
  return std::min<uint32_t>(chosen, static_cast<uint32_t>(log.logData.size()));
}

void showStatus(LogContext& ctx, const char* text) { ctx.ui.setText(WindowId::TextPage, ids::kTextStatus, text); }

// Under the log's lock. A VBI log's buffer is written out, then the file
// closed.
void stopLocked(LogContext& ctx) {
  LogBuffer& log = ctx.log;
  if (log.logClosed) return;
  log.logClosed = true;
  if (log.binary && log.logFile) {
    log.logFile->write(log.logData.data(), std::min<size_t>(log.logLength, log.logData.size()));  // not checked
    ctx.ui.setProgress(WindowId::TextPage, ids::kTextProgress, 0);
  }
  log.logFile.reset();
  log.logFileOpen = false;
  showStatus(ctx, kNotLoggingText);
}

// Under the log's lock; false when no file could be made (the caller shows
// the message once the lock is let go). `freshName`: a name that is taken
// is never reused, whatever the kind of log, so nothing is written over.
bool startLocked(LogContext& ctx, bool freshName = false) {
  LogBuffer& log = ctx.log;
  // A start while a file is open would leak it with its buffer.
  if (log.logFile) stopLocked(ctx);
  const bool binary = binaryMode(ctx);
  if (binary) {
    // The block is kept for later starts; a larger size chosen since needs
    // a larger block, or the buffer would overrun it.
    const uint32_t want = log.logCapacity ? log.logCapacity.load() : kDefaultLogCapacity;
    if (log.logData.size() < want) {
      try {
        log.logData.assign(want, 0);
      } catch (const std::bad_alloc&) {
        log.logData.clear();
        return false;
      }
    }
    log.logLength = 0;
  }
  const CalendarTime now = ctx.clock.localNow();
  auto tryPlace = [&](LogPlace place, const std::string& folder) {
    const CreateMode mode = freshName                 ? CreateMode::CreateNew
                            : !binary                 ? CreateMode::Truncate
                            : place == LogPlace::Root ? CreateMode::OpenAlways
                                                      : CreateMode::CreateNew;
    for (;;) {
      OpenResult result;
      const std::string name = logFileName(place, folder, log.logSequence, now.hour, now.minute, binary);
      if (auto file = OutputFile::open(localPath(ctx.root, name), mode, result)) {
        log.logFile = std::move(file);
        return true;
      }
      if (result != OpenResult::Exists || log.logSequence > kLastSequence) return false;
      ++log.logSequence;
    }
  };
  findCardFolder(ctx.storage);
  bool opened = tryPlace(LogPlace::Card, ctx.storage.storage.cardFolder.get());
  if (!opened) {
    findFlashFolder(ctx.storage);
    opened = tryPlace(LogPlace::Flash, ctx.storage.storage.flashFolder.get());
  }
  if (!opened) opened = tryPlace(LogPlace::Root, {});
  if (!opened) return false;
  log.logClosed = false;
  log.binary = binary;
  log.logFileOpen = true;
  showStatus(ctx, kLoggingText);
  return true;
}

void logFailed(LogContext& ctx) { ctx.ui.messageBox(WindowId::TextPage, kLogFailedText, "Error", kMbOk); }

}  // namespace

std::string logFileName(LogPlace place, const std::string& folder, uint32_t sequence, int hour, int minute,
                        bool binary) {
  const char* ext = binary ? "vbi" : "txt";
  if (place != LogPlace::Root) return format("\\%s\\Vexil_Log_%u_%2d_%2d.%s", folder.c_str(), sequence, hour, minute, ext);
  return binary ? format("\\Vexil_Log_%u_%d_%2d.vbi", sequence, hour, minute)
                : format("\\Vexil_Log_%u_%2d_%2d.txt", sequence, hour, minute);
}

void startLogging(LogContext& ctx) {
  bool ok;
  {
    std::lock_guard l(ctx.log.m);
    ctx.log.resumeOnLineBack = false;
    ok = startLocked(ctx);
  }
  if (!ok) logFailed(ctx);
}

void stopLogging(LogContext& ctx) {
  std::lock_guard l(ctx.log.m);
  ctx.log.resumeOnLineBack = false;
  stopLocked(ctx);
}

void DataLog::lineLost() {
  LogBuffer& log = ctx_.log;
  std::lock_guard l(log.m);
  log.resumeOnLineBack = log.logFile && !log.logClosed;
  stopLocked(ctx_);
}

void DataLog::lineBack() {
  LogBuffer& log = ctx_.log;
  bool ok;
  {
    std::lock_guard l(log.m);
    if (!std::exchange(log.resumeOnLineBack, false)) return;
    // In the same minute the file before has the same name: the next
    // sequence number then, as a VBI log takes when its name is taken.
    ok = startLocked(ctx_, true);
  }
  if (!ok) logFailed(ctx_);
}

void closeLogAtExit(LogContext& ctx) {
  LogBuffer& log = ctx.log;
  std::lock_guard l(log.m);
  if (!log.logFile || log.logClosed) return;
  // A text log has nothing held back, but its file is closed here too.
  if (log.binary) log.logFile->write(log.logData.data(), std::min<size_t>(log.logLength, log.logData.size()));
  log.logFile.reset();
  log.logFileOpen = false;
  log.logData.clear();
  log.logData.shrink_to_fit();
}

bool DataLog::writeLine(std::string_view line) {
  LogBuffer& log = ctx_.log;
  std::lock_guard l(log.m);
  if (!log.logFile || log.logClosed || log.binary) return false;
  log.logFile->write(line.data(), line.size());
  return true;
}

bool DataLog::feedByte(uint8_t byte) {
  LogBuffer& log = ctx_.log;
  bool failed = false;
  {
    std::lock_guard l(log.m);
    if (!log.logFile || log.logClosed || !log.binary) return false;
    if (log.logLength >= capacityInUse(log)) {
      // Full: this file is written out and the next one begins.
      stopLocked(ctx_);
      failed = !startLocked(ctx_);
    }
    if (!failed && log.logFile && log.logLength < log.logData.size()) {
      log.logData[log.logLength++] = byte;
      return true;
    }
  }
  if (failed) logFailed(ctx_);
  return false;
}

int DataLog::fillPercent() {
  LogBuffer& log = ctx_.log;
  std::lock_guard l(log.m);
  const uint32_t hundredth = capacityInUse(log) / 100;
  return hundredth ? static_cast<int>(log.logLength / hundredth) : 0;
}

}  // namespace ferrolan
