// ferrolan: the program's entry point.

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

#include "app/context.h"
#include "platform/process.h"
#include "platform/signals.h"
#include "platform/tty_port.h"
#include "shell/console_sheet.h"
#include "shell/demo.h"
#include "shell/startup.h"
#ifdef FERROLAN_HAVE_QT
#include "shell/qt/qt_sheet.h"
#endif

namespace {

const char* const kUsage =
    "usage: ferrolan [OPTIONS]\n"
    "\n"
    "Updates the firmware of a GPS receiver on a serial port, unattended, from\n"
    "the files that AutoUpdate.ini names; or, with --tool, is the interactive\n"
    "tool for the receiver.\n"
    "\n"
    "  --root DIR            the device root (default: the current folder); the\n"
    "                        configuration is DIR/<card folder>/AutoUpdate.ini,\n"
    "                        the card folder \"SDMMC\" unless DIR/registry.reg says\n"
    "                        otherwise\n"
    "  --console             no window: the log on standard output, progress on\n"
    "                        standard error; exit code 0 when the update ends \"OK\"\n"
    "  --demo                run against the simulated receiver (ferrolan-sim) in a\n"
    "                        temporary device root, then clean up\n"
    "  --tool                the three-page interactive sheet (Text, Info, Sky)\n"
    "  --platform-type TEXT  pretend to be a handheld of this platform type, e.g.\n"
    "                        \"PocketPC\" (the layout then follows the registry's\n"
    "                        System\\GDI\\Rotation \"Angle\")\n"
    "  --help                this text\n"
    "  --version             the program's version\n"
    "\n"
    "Ports: \"COMn:\" in AutoUpdate.ini opens DIR/dev/COMn when that exists (a\n"
    "symlink to /dev/ttyUSB0, say), else /dev/ttyS<n-1>; a value that begins\n"
    "with \"/\" is a device path.\n";

struct Options {
  std::string root = ".";
  bool console = false;
  bool demo = false;
  bool tool = false;
  bool help = false;
  bool version = false;
  std::optional<std::string> platformType;
};

// 0 when parsed; otherwise the exit code to leave with.
int parse(int argc, char** argv, Options& o) {
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    auto value = [&](const char* name) -> const char* {
      if (i + 1 >= argc) {
        std::fprintf(stderr, "ferrolan: %s needs a value\nTry 'ferrolan --help'.\n", name);
        return nullptr;
      }
      return argv[++i];
    };
    if (a == "--root") {
      const char* v = value("--root");
      if (!v) return 2;
      o.root = v;
    } else if (a == "--platform-type") {
      const char* v = value("--platform-type");
      if (!v) return 2;
      o.platformType = v;
    } else if (a == "--console") {
      o.console = true;
    } else if (a == "--demo") {
      o.demo = true;
    } else if (a == "--tool") {
      o.tool = true;
    } else if (a == "--help" || a == "-h") {
      o.help = true;
    } else if (a == "--version") {
      o.version = true;
    } else {
      std::fprintf(stderr, "ferrolan: unknown option '%s'\nTry 'ferrolan --help'.\n", a.c_str());
      return 2;
    }
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace ferrolan;
  // A reader that goes away (`ferrolan --console | head -n 1`) must not
  // stop an update that may already have the receiver in download mode.
  ignoreBrokenPipes();
  Options o;
  if (int rc = parse(argc, argv, o)) return rc;
  if (o.help) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (o.version) {
    std::printf("ferrolan %s\n", FERROLAN_VERSION);
    return 0;
  }
  if (o.console && o.tool) {
    std::fprintf(stderr, "ferrolan: --console runs the unattended update only; leave out --tool\n");
    return 2;
  }

  // SIGINT and SIGTERM end the program on a thread of their own, so the
  // demo's simulator and folder can go first; before any thread starts.
  DemoSetup demo;
  std::mutex demoMutex;
  TerminationWatch termination;
  termination.start([&](int signal) {
    std::lock_guard l(demoMutex);
    demo.stop();
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

  SystemClock clock;
  TtyPortOpener opener(o.root);
  UiModel ui;
  Context ctx(clock, opener, ui, o.root);

  StartupOptions startup;
  startup.pageCount = o.tool ? 3 : 1;
  if (o.platformType) startup.identity = {true, *o.platformType};
  const SheetDescription sheet = startUp(ctx, startup);
  PageProcedures procedures = makePageProcedures(ctx);

  int code = 0;
  if (o.console) {
    code = runConsoleSheet(ctx, sheet, procedures);
  } else {
#ifdef FERROLAN_HAVE_QT
    code = ferrolan::qt::runQtSheet(ctx, sheet, procedures, argc, argv);
#else
    std::fprintf(stderr, "ferrolan: this build has no window front end; use --console\n");
    code = 2;
#endif
  }
  const bool workerLeft = ctx.app.autoUpdateThread.valid() && ctx.app.autoUpdateThread.get()->running();
  {
    std::lock_guard l(demoMutex);
    demo.stop();
  }
  std::fflush(stdout);
  std::fflush(stderr);
  // The unattended update is not stopped by the shutdown; it ends with the
  // process, so nothing may be torn down under it.
  if (workerLeft) std::_Exit(code);
  return code;
}
