// From a sentence's end on a real pseudo-terminal to its line in the UI
// model: the receive thread's read, framing, TextLog and dispatch, as the
// connected program runs them. A line is handed on when the next "$"
// arrives, so each write ends with the "$" that closes it.
//
//   build/bench/receive_latency [SENTENCES]
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "app/context.h"
#include "app/wiring.h"
#include "link/serial_session.h"
#include "platform/pseudo_terminal.h"
#include "platform/tty_port.h"
#include "shell/page_templates.h"

using namespace ferrolan;
using Steady = std::chrono::steady_clock;

int main(int argc, char** argv) {
  const int count = argc > 1 ? std::max(10, std::atoi(argv[1])) : 500;
  std::string error;
  auto pty = PseudoTerminal::create(error);
  if (!pty) {
    std::fprintf(stderr, "receive_latency: %s\n", error.c_str());
    return 1;
  }
  SystemClock clock;
  TtyPortOpener opener("");
  UiModel ui;
  Context ctx(clock, opener, ui, "", "");
  ui.openWindow(WindowId::TextPage, initialControls(110));
  ui.openWindow(WindowId::InfoPage, initialControls(106));
  ui.openWindow(WindowId::ComPortSetup, initialControls(104));
  ui.setText(WindowId::ComPortSetup, ids::kComPortBox, pty->path());
  ui.setText(WindowId::ComPortSetup, ids::kComBaudBox, "115200");
  registerDataPath(ctx);

  std::atomic<int> seen{-1};
  std::atomic<int64_t> seenAt{0};
  ui.addListener([&](const UiChange& c) {
    if (c.kind != UiChangeKind::ListInsertTop || c.text.rfind("$GPGGA,", 0) != 0) return;
    seenAt = Steady::now().time_since_epoch().count();
    seen = std::atoi(c.text.c_str() + 7);
  });
  // The stream is detected while connecting.
  std::thread feeder([&] {
    const std::string hello = "$GPTXT,hello*00\r\n";
    for (int i = 0; i < 40; ++i) {
      pty->write(reinterpret_cast<const uint8_t*>(hello.data()), hello.size());
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
  });
  const bool connected = connectReceiver(ctx);
  feeder.join();
  if (!connected) {
    std::fprintf(stderr, "receive_latency: could not connect to %s\n", pty->path().c_str());
    return 1;
  }
  std::vector<double> ms;
  for (int i = 0; i < count; ++i) {
    const std::string s = "GPGGA," + std::to_string(i) + ",092751.000,5321.6802,N,00630.3371,W,1,8,1.03,61.7,M,55.3,M,,*00\r\n$";
    const auto start = Steady::now();
    pty->write(reinterpret_cast<const uint8_t*>(s.data()), s.size());
    while (seen.load() != i && Steady::now() - start < std::chrono::seconds(2)) std::this_thread::yield();
    if (seen.load() != i) continue;
    ms.push_back(static_cast<double>(seenAt.load() - start.time_since_epoch().count()) / 1e6);
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  disconnectReceiver(ctx);
  if (ms.empty()) {
    std::fprintf(stderr, "receive_latency: no sentence came through\n");
    return 1;
  }
  std::sort(ms.begin(), ms.end());
  auto at = [&](double q) { return ms[std::min(ms.size() - 1, static_cast<size_t>(q * static_cast<double>(ms.size())))]; };
  std::printf("sentences: %zu of %d through\nlatency ms: median %.3f  p99 %.3f  max %.3f\n", ms.size(), count, at(0.5),
              at(0.99), ms.back());
  return 0;
}
