// The receive path's speed on real receivers' captures, concatenated to at
// least 20 MB: bytes framed into lines, shown in the TextLog, dispatched,
// and the display routines of every event that fired run as the display
// thread would, on one thread. gpsd's own decoder, gpsdecode, reads the same
// bytes in the same run; the ratio of the two rates is printed.
//
//   build/bench/receive_bench [--no-textlog] [MEGABYTES]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/context.h"
#include "app/wiring.h"
#include "datapath/sentence_dispatch.h"
#include "datapath/stream_framer.h"
#include "bench/captures.h"
#include "platform/process.h"
#include "shell/page_templates.h"
#include "tests/support/scripted_port.h"

using namespace ferrolan;
namespace fs = std::filesystem;

namespace {

double seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

}  // namespace

int main(int argc, char** argv) {
  bool textLog = true;
  double megabytes = 20;
  for (int i = 1; i < argc; ++i) {
    if (std::string(argv[i]) == "--no-textlog")
      textLog = false;
    else
      megabytes = std::max(1.0, std::atof(argv[i]));
  }
  const std::string one = bench::captures();
  if (one.empty()) {
    std::fprintf(stderr, "receive_bench: no captures under %s\n", FERROLAN_TESTDATA_DIR);
    return 1;
  }
  std::string stream;
  while (stream.size() < megabytes * 1e6) stream += one;
  const double mb = static_cast<double>(stream.size()) / 1e6;

  VirtualClock clock;
  ScriptedPortOpener opener;
  UiModel ui;
  Context ctx(clock, opener, ui, "", "");
  ui.openWindow(WindowId::TextPage, initialControls(110));
  ui.openWindow(WindowId::InfoPage, initialControls(106));
  registerDataPath(ctx);
  ctx.display.infoPageActive = true;
  std::array<EventHandle, sentenceEvents::kCount> events;
  for (size_t i = 0; i < events.size(); ++i) {
    events[i] = ctx.openEvents.open(std::string(kSentenceEventNames[i]));
    ctx.dataPath.events.publish(static_cast<int>(i), events[i]);
  }

  LineFramer framer(ctx.dataPath.lineSync);
  size_t lines = 0, refreshed = 0;
  const auto start = std::chrono::steady_clock::now();
  for (char c : stream) {
    framer.take(static_cast<uint8_t>(c), [&](std::string_view line) {
      ++lines;
      if (textLog) ctx.textLog.insertTop(line);
      dispatchSentence(ctx, line);
      for (size_t i = 0; i < events.size(); ++i) {
        if (!events[i]->tryConsume()) continue;
        if (const RefreshRoutine& r = ctx.dataPath.refresh[i]) {
          r();
          ++refreshed;
        }
      }
    });
  }
  const double ours = seconds(start);

  const std::string dir = makeTempDir("ferrolan-bench-");
  const std::string file = dir + "/stream.nmea";
  std::ofstream(file, std::ios::binary) << stream;
  const auto gStart = std::chrono::steady_clock::now();
  const int rc = std::system(("gpsdecode < '" + file + "' > /dev/null 2>&1").c_str());
  const double theirs = seconds(gStart);
  removeTree(dir);

  std::printf("stream: %.1f MB, %zu lines, %zu display refreshes%s\n", mb, lines, refreshed,
              textLog ? "" : " (TextLog left out)");
  std::printf("ferrolan:   %7.3f s  %8.1f MB/s\n", ours, mb / ours);
  if (rc == 0)
    std::printf("gpsdecode:  %7.3f s  %8.1f MB/s\nratio: %.1f x gpsdecode's rate\n", theirs, mb / theirs,
                theirs / ours);
  else
    std::printf("gpsdecode: not run (install gpsd-clients)\n");
  return 0;
}
