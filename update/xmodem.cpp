#include "update/xmodem.h"

#include <algorithm>
#include <array>
#include <limits>

#include "update/update_context.h"

namespace ferrolan {

using namespace xmodem;

namespace {

constexpr uint32_t kNakSeconds = 11;
constexpr uint32_t kAckSeconds = 16;
constexpr int kNakWaits = 3;
constexpr int kSendsPerBlock = 3;
constexpr int kFileEotTries = 2;
constexpr int kLoaderEotTries = 3;
constexpr uint32_t kNakRetryPauseMs = 2000;
constexpr uint32_t kGiveUpPauseMs = 500;
constexpr uint32_t kUpdateBaud = 115200;

// Progress position of sent bytes in steps of size / 100. A file shorter
// than 100 bytes has no such step: it is scaled directly, and an empty one
// counts as complete.
int progressPosition(uint64_t sent, uint64_t size) {
  const uint64_t step = size / 100;
  uint64_t pos;
  if (step != 0) pos = sent / step;
  else if (size != 0) pos = sent * 100 / size;
  else pos = 100;
  return static_cast<int>(std::min<uint64_t>(pos, std::numeric_limits<int>::max()));
}

// Header and cleared data of block `number` in a frame of B data bytes.
template <size_t B>
void startFrame(std::array<uint8_t, B + kFrameOverhead>& frame, uint8_t start, uint8_t number, uint8_t fill) {
  frame[0] = start;
  frame[1] = number;
  frame[2] = static_cast<uint8_t>(0xFF - number);
  std::fill(frame.begin() + 3, frame.end(), fill);
}

// Puts EOT out and awaits its ACK, up to `tries` times.
bool endTransfer(UpdateContext& ctx, int tries) {
  for (int i = 0; i < tries; ++i) {
    writeEot(ctx);
    if (waitForAck(ctx)) return true;
  }
  return false;
}

}  // namespace

uint8_t xmodemChecksum(std::span<const uint8_t> data) {
  uint8_t sum = 0;
  for (uint8_t b : data) sum = static_cast<uint8_t>(sum + b);
  return sum;
}

bool waitForNak(UpdateContext& ctx) {
  auto port = ctx.session.portHandle.get();
  if (!port) return false;
  const uint32_t start = ctx.clock.tickCount();
  int run = 0;
  for (;;) {
    uint8_t b;
    if (port->readByte(b)) {
      run = b == kNak ? run + 1 : 0;
      if (run >= 3) return true;
    }
    if (elapsedSeconds(ctx.clock, start) >= kNakSeconds) return false;
  }
}

bool waitForAck(UpdateContext& ctx) {
  auto port = ctx.session.portHandle.get();
  if (!port) return false;
  const uint32_t start = ctx.clock.tickCount();
  for (;;) {
    uint8_t b;
    if (port->readByte(b) && b == kAck) return true;
    if (elapsedSeconds(ctx.clock, start) >= kAckSeconds) return false;
  }
}

bool xmodemSendFile(UpdateContext& ctx) {
  const bool showProgress = ctx.ui.hasControl(WindowId::TextPage, ids::kTextProgress);
  if (!showProgress) ctx.textLog.append("Can't get Progress HWND");
  auto port = ctx.session.portHandle.get();
  if (!port) {
    ctx.textLog.append("COM Port not opened..");
    return false;
  }
  auto file = ctx.update.updateFile.get();
  if (!file) {
    // Nothing to send is a failure, not an empty transfer that succeeds.
    ctx.textLog.append("Update file not opened.. ");
    return false;
  }
  ctx.textLog.append("Wait Xmodem NAK..");
  bool asked = false;
  for (int i = 0; i < kNakWaits && !asked; ++i) {
    if (waitForNak(ctx)) {
      asked = true;
      break;
    }
    ctx.textLog.append("Waiting NAK ..");
    LineSettings line;
    if (!port->getLineSettings(line)) {
      ctx.textLog.append("GetCommState Failed.");
      return false;
    }
    if (!port->setLineSettings(withReceiverLine(line, kUpdateBaud))) {
      ctx.textLog.append("SetCommState Failed ");
      return false;
    }
    ctx.clock.sleepMs(kNakRetryPauseMs);
    port->purge(kPurgeTxClear | kPurgeRxClear);
  }
  if (!asked) {
    ctx.textLog.append("No Xmodem NAK received..");
    ctx.clock.sleepMs(kGiveUpPauseMs);
    return false;
  }

  ctx.textLog.append("Updating.. Please Wait ...");
  const uint64_t size = file->size();
  uint64_t sent = 0;
  uint8_t block = 0;
  std::array<uint8_t, kFileBlock + kFrameOverhead> frame;
  for (;;) {
    block = static_cast<uint8_t>(block + 1);
    startFrame<kFileBlock>(frame, kStx, block, 0x00);
    const long n = file->read(frame.data() + 3, kFileBlock);
    if (n > 0) sent += static_cast<uint64_t>(n);
    if (showProgress) ctx.ui.setProgress(WindowId::TextPage, ids::kTextProgress, progressPosition(sent, size));
    if (n < 0) {
      // A file that cannot be read to its end must not pass for sent.
      ctx.textLog.append("Read File failed.. ");
      return false;
    }
    if (n == 0) break;
    frame[3 + kFileBlock] = xmodemChecksum(std::span<const uint8_t>(frame.data() + 3, static_cast<size_t>(n)));
    bool acked = false;
    for (int attempt = 0; attempt < kSendsPerBlock && !acked; ++attempt) {
      if (!port->write(frame.data(), frame.size())) {
        ctx.textLog.append("Write COM Port failed.. ");
        return false;
      }
      acked = waitForAck(ctx);
    }
    if (!acked) {
      ctx.textLog.append("No Xmodem ACK received.. ");
      return false;
    }
  }
  if (endTransfer(ctx, kFileEotTries)) return true;
  ctx.textLog.append("No Xmodem ACK received.. ");
  return false;
}

bool xmodemSendLoader(UpdateContext& ctx, ReceiverGeneration generation) {
  auto status = [&](const char* text) { ctx.ui.setText(WindowId::UpdateFirmware, ids::kUpdStatus, text); };
  const bool showProgress = ctx.ui.hasControl(WindowId::UpdateFirmware, ids::kUpdProgress);
  if (!showProgress) status("Can't get Progress HWND");
  if (!waitForNak(ctx)) {
    status("No NAK Xmodem received..");
    ctx.clock.sleepMs(kGiveUpPauseMs);
    return false;
  }
  auto port = ctx.session.portHandle.get();
  if (!port) return false;  // waitForNak has seen it open

  const std::span<const uint8_t> image = loaderImage(generation);
  const size_t size = image.size();
  ctx.textLog.append(format("spFlash =%d Bytes", static_cast<int>(size)));
  size_t sent = 0;
  uint8_t block = 0;
  std::array<uint8_t, kLoaderBlock + kFrameOverhead> frame;
  for (;;) {
    block = static_cast<uint8_t>(block + 1);
    startFrame<kLoaderBlock>(frame, kSoh, block, kSub);
    const size_t n = std::min(size - sent, kLoaderBlock);
    std::copy_n(image.begin() + static_cast<std::ptrdiff_t>(sent), n, frame.begin() + 3);
    sent += n;
    if (showProgress) ctx.ui.setProgress(WindowId::UpdateFirmware, ids::kUpdProgress, progressPosition(sent, size));
    if (n == 0) break;
    // The 0x1A fill counts in the sum.
    frame[3 + kLoaderBlock] = xmodemChecksum(std::span<const uint8_t>(frame.data() + 3, kLoaderBlock));
    bool acked = false;
    for (int attempt = 0; attempt < kSendsPerBlock && !acked; ++attempt) {
      if (!port->write(frame.data(), frame.size())) {
        status(attempt == 0 ? "Write COM Port failed.. " : "Write COM Port failed..  ");
        return false;
      }
      acked = waitForAck(ctx);
    }
    if (!acked) {
      status("No Xmodem ACK received.. ");
      return false;
    }
  }
  if (endTransfer(ctx, kLoaderEotTries)) return true;
  status("No Xmodem ACK received.. ");
  return false;
}

}  // namespace ferrolan
