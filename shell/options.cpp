#include "shell/options.h"

namespace ferrolan {

CommandLine<ProgramOptions> parseProgramOptions(const std::vector<std::string>& args) {
  CommandLine<ProgramOptions> line;
  ProgramOptions& o = line.options;
  CLI::App app(
      "Updates the firmware of a GPS receiver on a serial port, unattended, from\n"
      "the files that AutoUpdate.ini names; or, with --tool, is the interactive\n"
      "tool for the receiver.",
      "ferrolan");
  setUpCommandLine(app, 24);
  app.footer(
      "Ports: \"COMn:\" in AutoUpdate.ini opens DIR/dev/COMn when that exists (a\n"
      "symlink to /dev/ttyUSB0, say), else /dev/ttyS<n-1>; a value that begins\n"
      "with \"/\" is a device path.\n"
      "\n"
      "--tool --console reads commands on standard input, one per line:\n"
      "  page text|info|sky   cmd ID   wait MS   sync   quit\n"
      "  and while a dialog is open: set ID TEXT   pick ID INDEX\n"
      "  check ID 0|1   click ID   (file PATH | file after a file prompt)\n"
      "and prints one line per change: log TEXT, text WIN:ID TEXT,\n"
      "progress|enable|show|check WIN:ID N, select WIN:ID INDEX TEXT,\n"
      "menu ID 0|1, open WIN, close WIN, box CAPTION|TEXT, file TITLE,\n"
      "sync, error LINE: REASON, and exit N last. WIN is text, info, sky\n"
      "or dlgN; in texts CR, LF and backslash are written \\r \\n \\\\.");
  app.add_option("--root", o.root,
                 "the device root (default: the current folder); the\n"
                 "configuration is DIR/<card folder>/AutoUpdate.ini,\n"
                 "the card folder \"SDMMC\" unless DIR/registry.reg says\n"
                 "otherwise")
      ->type_name("DIR");
  CLI::Option* console = app.add_flag("--console", o.console,
               "no window: the log on standard output, progress on\n"
               "standard error; exit code 0 when the update ends \"OK\".\n"
               "With --tool: the sheet driven by a script (below)");
  app.add_flag("--tui", o.tui,
               "the sheet in the terminal, worked with the keyboard\n"
               "(Tab/arrows, Enter/Space, Esc, F1-F3, F10 or m for the\n"
               "menu, q to quit); with --tool the three pages")
      ->excludes(console);
  app.add_flag("--demo", o.demo,
               "run against the simulated receiver (ferrolan-sim) in a\n"
               "temporary device root, then clean up");
  CLI::Option* demo = app.get_option("--demo");
  CLI::Option* tool = app.add_flag("--tool", o.tool, "the three-page interactive sheet (Text, Info, Sky)");
  CLI::Option* replay = app.add_option_function<std::string>(
                                "--replay", [&o](const std::string& log) { o.replay = log; },
                                "with --tool: play a recorded log (NMEA text or the\n"
                                "VBI log) into the pages as if a receiver sent it,\n"
                                "in the log's own time; nothing is sent to a receiver")
                            ->type_name("LOG")
                            ->check(nonEmpty())
                            ->needs(tool)
                            ->excludes(demo);
  app.add_option("--speed", o.speed, "with --replay: times the log's speed (1); 0 as fast\nas possible")
      ->type_name("X")
      ->transform(within(0.0, kMaxReplaySpeed))
      ->needs(replay);
  app.add_option_function<std::string>(
         "--platform-type", [&o](const std::string& type) { o.platformType = type; },
         "pretend to be a handheld of this platform type, e.g.\n"
         "\"PocketPC\" (the layout then follows the registry's\n"
         "System\\GDI\\Rotation \"Angle\")")
      ->type_name("TEXT");
  CLI::Option* station = app.add_flag("--station", o.station,
               "the production line: the unattended update on every\n"
               "PORT at once (device paths or globs such as\n"
               "'/dev/ttyUSB*'), each run recorded in SQLite");
  app.add_option("--db", o.db, "with --station: the record (default:\nDIR/ferrolan-station.sqlite)")
      ->type_name("FILE")->needs(station);
  app.add_option("--jobs", o.jobs, "with --station: at most N updates at once (default: all)")
      ->type_name("N")->check(CLI::PositiveNumber)->needs(station);
  app.add_flag("--watch", o.watch,
               "with --station: keep running; a port that appears is\n"
               "updated, again only after it has gone and come back")
      ->needs(station);
  app.add_option("--report", o.report, "with --station: print the record and end")
      ->type_name("csv|json")->check(CLI::IsMember({"csv", "json"}))->needs(station);
  app.add_option("PORT", o.ports, "with --station: the ports")->needs(station);
  for (CLI::Option* other : {console, app.get_option("--tui"), app.get_option("--demo"), app.get_option("--tool")})
    station->excludes(other);
  line.exit = parseCommandLine(app, args, std::string("ferrolan ") + FERROLAN_VERSION);
  if (!line.exit && o.station && !o.report && o.ports.empty() && !o.watch)
    line.exit = commandLineError("ferrolan", "--station needs a PORT (a device path or a glob)");
  return line;
}

}  // namespace ferrolan
