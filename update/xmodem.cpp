#include "update/xmodem.h"

#include <algorithm>
#include <array>
#include <functional>
#include <limits>

#include "link/serial_session.h"
#include "platform/line_speeds.h"
#include "update/update_context.h"

namespace ferrolan {

using namespace xmodem;

namespace {

constexpr uint32_t kNakSeconds = 11;
constexpr uint32_t kAckSeconds = 16;
constexpr int kNaksInARow = 3;
constexpr int kNakWaits = 3;
constexpr int kSendsPerBlock = 3;
constexpr int kFileEotTries = 2;
constexpr int kLoaderEotTries = 3;
constexpr uint32_t kNakRetryPauseMs = 2000;
constexpr uint32_t kGiveUpPauseMs = 500;

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

// How one transfer is framed.
struct BlockFormat {
  uint8_t start;  // SOH or STX
  uint8_t fill;   // pads the last block; counts in its checksum
  int eotTries;
};

// Fills the block with the next bytes to send: the count, 0 at the end,
// -1 when the source fails.
using BlockReader = std::function<long(std::span<uint8_t> block)>;

enum class TransferEnd { Sent, ReadFailed, WriteFailed, WriteFailedOnRetry, NoAck };

// The block loop both transfers share: read, frame, send up to three
// times until acknowledged, then EOT. `sent` hears the running byte count
// after every read, the last (empty) one included; `acknowledged` the count the
// receiver has taken, after each block's ACK.
template <size_t B>
TransferEnd sendBlocks(UpdateContext& ctx, Port& port, const BlockFormat& format, const BlockReader& read,
                       const std::function<void(uint64_t)>& sent, const std::function<void(uint64_t)>& acknowledged = {}) {
  std::array<uint8_t, B + kFrameOverhead> frame;
  const std::span<uint8_t> data(frame.data() + 3, B);
  uint64_t total = 0;
  uint8_t number = 0;
  for (;;) {
    number = static_cast<uint8_t>(number + 1);
    frame[0] = format.start;
    frame[1] = number;
    frame[2] = static_cast<uint8_t>(0xFF - number);
    std::fill(data.begin(), data.end(), format.fill);
    const long n = read(data);
    if (n > 0) total += static_cast<uint64_t>(n);
    sent(total);
    if (n < 0) return TransferEnd::ReadFailed;
    if (n == 0) break;
    frame[3 + B] = xmodemChecksum(data);
    bool acked = false;
    for (int attempt = 0; attempt < kSendsPerBlock && !acked; ++attempt) {
      if (!port.write(frame.data(), frame.size()))
        return attempt == 0 ? TransferEnd::WriteFailed : TransferEnd::WriteFailedOnRetry;
      acked = waitForAck(port, ctx.clock);
    }
    if (!acked) return TransferEnd::NoAck;
    if (acknowledged) acknowledged(total);
  }
  for (int i = 0; i < format.eotTries; ++i) {
    writeEot(ctx);
    if (waitForAck(port, ctx.clock)) return TransferEnd::Sent;
  }
  return TransferEnd::NoAck;
}

}  // namespace

uint8_t xmodemChecksum(std::span<const uint8_t> data) {
  uint8_t sum = 0;
  for (uint8_t b : data) sum = static_cast<uint8_t>(sum + b);
  return sum;
}

bool waitForNak(Port& port, Clock& clock) {
  const uint32_t start = clock.tickCount();
  int run = 0;
  for (;;) {
    uint8_t b;
    if (port.readByte(b)) {
      run = b == kNak ? run + 1 : 0;
      if (run >= kNaksInARow) return true;
    }
    if (elapsedSeconds(clock, start) >= kNakSeconds) return false;
  }
}

bool waitForAck(Port& port, Clock& clock) {
  const uint32_t start = clock.tickCount();
  for (;;) {
    uint8_t b;
    if (port.readByte(b) && b == kAck) return true;
    if (elapsedSeconds(clock, start) >= kAckSeconds) return false;
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
    if (waitForNak(*port, ctx.clock)) {
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
  // Exactly the size that was checked goes out: a file that ends early,
  // grows or changes while it is sent fails as a read failure.
  const uint64_t size = file->size();
  uint64_t taken = 0;
  const BlockReader read = [&](std::span<uint8_t> block) -> long {
    const size_t want = static_cast<size_t>(std::min<uint64_t>(block.size(), size - taken));
    if (want == 0) {
      uint8_t extra;
      return file->read(&extra, 1) == 0 && file->unchanged() ? 0 : -1;
    }
    const long n = file->read(block.data(), want);
    if (n != static_cast<long>(want)) return -1;
    taken += want;
    if (ctx.update.watch.read) ctx.update.watch.read(block.first(want));
    return n;
  };
  const auto progress = [&](uint64_t sent) {
    if (showProgress) ctx.ui.setProgress(WindowId::TextPage, ids::kTextProgress, progressPosition(sent, size));
  };
  switch (sendBlocks<kFileBlock>(ctx, *port, {kStx, 0x00, kFileEotTries}, read, progress, ctx.update.watch.acknowledged)) {
    case TransferEnd::Sent:
      return true;
    case TransferEnd::ReadFailed:
      ctx.textLog.append("Read File failed.. ");
      return false;
    case TransferEnd::WriteFailed:
    case TransferEnd::WriteFailedOnRetry:
      ctx.textLog.append("Write COM Port failed.. ");
      return false;
    case TransferEnd::NoAck:
      break;
  }
  ctx.textLog.append("No Xmodem ACK received.. ");
  return false;
}

bool xmodemSendLoader(UpdateContext& ctx, ReceiverGeneration generation) {
  auto status = [&](std::string_view text) { showUpdateStatus(ctx, text); };
  const bool showProgress = ctx.ui.hasControl(WindowId::UpdateFirmware, ids::kUpdProgress);
  if (!showProgress) status("Can't get Progress HWND");
  const LoaderChoice loader = chooseLoaderImage(ctx.root, generation);
  if (!loader.error.empty()) {
    // A maker's image that is not the right size is never sent.
    status(loader.error);
    return false;
  }
  auto port = ctx.session.portHandle.get();
  if (!port || !waitForNak(*port, ctx.clock)) {
    status("No NAK Xmodem received..");
    ctx.clock.sleepMs(kGiveUpPauseMs);
    return false;
  }

  const std::span<const uint8_t> image = loader.bytes;
  ctx.textLog.append(format("spFlash =%d Bytes", static_cast<int>(image.size())));
  size_t taken = 0;
  const BlockReader read = [&](std::span<uint8_t> block) -> long {
    const size_t n = std::min(image.size() - taken, block.size());
    std::copy_n(image.begin() + static_cast<std::ptrdiff_t>(taken), n, block.begin());
    taken += n;
    return static_cast<long>(n);
  };
  const auto progress = [&](uint64_t sent) {
    if (showProgress) ctx.ui.setProgress(WindowId::UpdateFirmware, ids::kUpdProgress, progressPosition(sent, image.size()));
  };
  switch (sendBlocks<kLoaderBlock>(ctx, *port, {kSoh, kSub, kLoaderEotTries}, read, progress)) {
    case TransferEnd::Sent:
      return true;
    case TransferEnd::WriteFailed:
      status("Write COM Port failed.. ");
      return false;
    case TransferEnd::WriteFailedOnRetry:
      status("Write COM Port failed..  ");
      return false;
    case TransferEnd::ReadFailed:  // the image is in memory
    case TransferEnd::NoAck:
      break;
  }
  status("No Xmodem ACK received.. ");
  return false;
}

}  // namespace ferrolan
