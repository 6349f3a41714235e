// Sends a 491520-byte file at the real 115200 baud (a relay paces both
// directions at 10 bits a byte) and compares the time with the line's limit
// and with lrzsz's sx on the same relay to the same receiver (lrzsz rx).
#include <time.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <vector>

#include "app/context.h"
#include "link/serial_session.h"
#include "platform/process.h"
#include "platform/tty_port.h"
#include "tests/support/xmodem_relay.h"
#include "update/update_file.h"
#include "update/xmodem.h"

using namespace ferrolan;
namespace fs = std::filesystem;

namespace {

constexpr size_t kFileSize = 491520;
constexpr double kLimitSeconds = 480.0 * 1028 * 10 / 115200;

double threadCpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

struct Leg {
  bool ok = false;
  bool senderAnswer = false;
  double seconds = 0, cpu = 0;
};

Leg runLeg(const fs::path& dir, const fs::path& source, bool useSx) {
  test::Pty sender, receiver;
  if (!test::openPty(sender) || !test::openPty(receiver)) return {};
  // sx starts on a single NAK; the burst is for our sender's three-NAK rule.
  test::LineRelay relay(sender.master, receiver.master, {115200, 1000, !useSx});
  relay.markAfterBytes(480 * 1028 + 1);  // every block once, then EOT
  fs::remove(dir / "received.bin");
  ChildProcess rx;
  if (!test::startOnTty(rx, {"rx", "-X", "-b", "-y", "received.bin"}, receiver.slavePath, dir.string(),
                        (dir / "rx.err").string()))
    return {};
  Leg leg;
  const auto start = std::chrono::steady_clock::now();
  if (useSx) {
    ChildProcess sx;
    if (!test::startOnTty(sx, {"sx", "-X", "-k", "-b", "-t", "10", source.string()}, sender.slavePath, dir.string(),
                          (dir / "sx.err").string()))
      return {};
    const bool finished = sx.wait(300000);
    sx.stop(0);
    leg.ok = finished && sx.exitCode() == 0;
    if (finished) leg.cpu = sx.cpuSeconds();
  } else {
    SystemClock clock;
    TtyPortOpener opener(dir.string());
    UiModel ui;
    Context ctx(clock, opener, ui, dir.string(), "");
    ui.openWindow(WindowId::TextPage, {{ids::kTextLog, {}}, {ids::kTextProgress, {}}});
    if (!openPort(ctx, sender.slavePath, 115200)) return {};
    ctx.update.updateFile.set(UpdateFile::open(source.string()));
    const double cpu0 = threadCpuSeconds();
    leg.ok = xmodemSendFile(ctx);
    leg.cpu = threadCpuSeconds() - cpu0;
    ctx.session.portHandle.reset();
  }
  const bool rxFinished = rx.wait(10000);
  rx.stop(0);
  relay.stop();
  // rx often drops its own last ACK when it flushes the line on exit; the
  // transfer time is the data's, up to the first EOT.
  if (auto eot = relay.markedAt()) leg.seconds = std::chrono::duration<double>(*eot - start).count();
  leg.senderAnswer = leg.ok;
  leg.ok = rxFinished && rx.exitCode() == 0;
  leg.ok = leg.ok && fs::exists(dir / "received.bin") && fs::file_size(dir / "received.bin") == kFileSize;
  return leg;
}

}  // namespace

int main() {
  const fs::path dir = fs::temp_directory_path() / ("ferrolan-xmodem-bench-" + std::to_string(::getpid()));
  fs::create_directories(dir);
  const fs::path source = dir / "firmware.bin";
  std::vector<char> data(kFileSize);
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>((i * 2654435761u) >> 24);
  std::ofstream(source, std::ios::binary).write(data.data(), static_cast<long>(data.size()));

  std::printf("XMODEM 1K, %zu bytes at 115200 baud through a pacing relay, receiver lrzsz rx\n", kFileSize);
  std::printf("physical limit (480 blocks x 1028 bytes x 10 bits / 115200): %.2f s\n", kLimitSeconds);
  const Leg ours = runLeg(dir, source, false);
  std::printf("xmodemSendFile: %s  %.2f s  ratio %.4f  sender CPU %.3f s  (sender answered %s)\n",
              ours.ok ? "ok  " : "FAIL", ours.seconds, ours.seconds / kLimitSeconds, ours.cpu,
              ours.senderAnswer ? "true" : "false: final ACK lost");
  const Leg sx = runLeg(dir, source, true);
  std::printf("sx -X -k -b -t 10: %s  %.2f s  ratio %.4f  sender CPU %.3f s\n", sx.ok ? "ok  " : "FAIL", sx.seconds,
              sx.seconds / kLimitSeconds, sx.cpu);
  if (!std::getenv("KEEP")) fs::remove_all(dir);
  return 0;
}
