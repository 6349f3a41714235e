// ferrolan: the program's entry point.

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "app/context.h"
#include "app/wiring.h"
#include "platform/process.h"
#include "platform/signals.h"
#include "platform/terminal.h"
#include "platform/tty_port.h"
#include "shell/console_sheet.h"
#include "shell/demo.h"
#include "shell/options.h"
#include "shell/playback.h"
#include "shell/script_console.h"
#include "shell/startup.h"
#include "station/station.h"
#ifdef FERROLAN_HAVE_QT
#include "shell/qt/qt_sheet.h"
#endif
#ifdef FERROLAN_HAVE_TUI
#include "shell/tui/tui_sheet.h"
#endif

int main(int argc, char** argv) {
  using namespace ferrolan;
  // Before anything is opened: a closed 0, 1 or 2 would be taken by the
  // next descriptor (the signal watch's) and read as the script.
  if (!ensureStandardDescriptors()) return 1;
  // A reader that goes away (`ferrolan --console | head -n 1`) must not
  // stop an update that may already have the receiver in download mode.
  ignoreBrokenPipes();
  const CommandLine<ProgramOptions> line = parseProgramOptions(std::vector<std::string>(argv + 1, argv + argc));
  if (line.exit) {
    std::fputs(line.exit->text.c_str(), line.exit->code == 0 ? stdout : stderr);
    return line.exit->code;
  }
  ProgramOptions o = line.options;

  // SIGINT and SIGTERM end the program on a thread of their own, so the
  // demo's simulator and folder can go first; before any thread starts.
  if (o.station) {
    // A record that cannot grow is a failure to record, not the end.
    ignoreFileSizeLimit();
    const std::string db = o.db.empty() ? defaultStationDb(o.root) : o.db;
    if (o.report) return printStationReport(db, *o.report);
    StationStop stop;
    TerminationWatch termination;
    termination.start([&stop](int signal) { stop.request(signal); });
    StationOptions so{o.root, db, o.jobs, o.watch, o.ports};
    return runStation(so, stop);
  }

  DemoSetup demo;
  PlaybackSetup playback;
  std::mutex demoMutex;  // the demo's and the playback's simulator
  TerminationWatch termination;
  termination.start([&](int signal) {
    std::lock_guard l(demoMutex);
    demo.stop();
    playback.stop();
    // A terminal front end leaves the terminal as it found it.
    restoreGuardedTerminal();
    endScriptConsole(128 + signal);
    std::_Exit(128 + signal);
  });
  if (o.demo) {
    std::lock_guard l(demoMutex);
    std::string error;
    if (!demo.start(programDir() + "/ferrolan-sim", error)) {
      std::fprintf(stderr, "ferrolan: demo: %s\n", error.c_str());
      return 1;
    }
    o.root = demo.root();
    std::fprintf(stderr, "ferrolan: demo device root %s, simulated receiver on %s\n", demo.root().c_str(),
                 demo.line().c_str());
  }

  if (o.replay) {
    std::lock_guard l(demoMutex);
    std::string error;
    if (!playback.start(programDir() + "/ferrolan-sim", *o.replay, o.speed, error)) {
      std::fprintf(stderr, "ferrolan: replay: %s\n", error.c_str());
      return 1;
    }
    std::fprintf(stderr, "ferrolan: playing %s on %s\n", o.replay->c_str(), playback.line().c_str());
  }

  SystemClock clock;
  TtyPortOpener ttyOpener(o.root);
  CountingPortOpener opener(ttyOpener, playback.line());
  UiModel ui;
  Context ctx(clock, opener, ui, o.root);
  registerAll(ctx);
  // From the first command on, nothing goes out to a receiver.
  ctx.session.playback = o.replay.has_value();
  if (o.replay)
    ctx.hooks.playback = [&ctx, &opener, line = playback.line(), size = playback.logSize()](WorkerControl& ctl) {
      runPlayback(ctx, ctl, line, opener, size);
    };

  StartupOptions startup;
  startup.pageCount = o.tool ? 3 : 1;
  if (o.platformType) startup.identity = {true, *o.platformType};
  const SheetDescription sheet = startUp(ctx, startup);
  PageProcedures procedures = makePageProcedures(ctx);

  int code = 0;
  if (o.console && o.tool) {
    code = runScriptConsole(ctx, sheet, procedures);
  } else if (o.tui) {
#ifdef FERROLAN_HAVE_TUI
    code = tui::runTuiSheet(ctx, sheet, procedures);
#else
    std::fprintf(stderr, "ferrolan: this build has no terminal front end; use --console\n");
    code = 2;
#endif
  } else if (o.console) {
    code = runConsoleSheet(ctx, sheet, procedures);
  } else {
#ifdef FERROLAN_HAVE_QT
    code = ferrolan::qt::runQtSheet(ctx, sheet, procedures, argc, argv);
#else
    std::fprintf(stderr, "ferrolan: this build has no window front end; use --console\n");
    code = 2;
#endif
  }
  auto running = [](SharedHandle<Worker>& h) { return h.valid() && h.get()->running(); };
  const bool workerLeft =
      running(ctx.app.autoUpdateThread) || running(ctx.app.updateThread) || ctx.update.procedureRunning > 0;
  {
    std::lock_guard l(demoMutex);
    demo.stop();
    playback.stop();
  }
  std::fflush(stdout);
  std::fflush(stderr);
  // The updates are not stopped by the shutdown; they end with the
  // process, so nothing may be torn down under them.
  if (workerLeft) std::_Exit(code);
  return code;
}
