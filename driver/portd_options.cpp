#include "driver/portd_options.h"

#include <charconv>

#include "platform/line_speeds.h"

namespace ferrolan {

namespace {

const char* const kDescription =
    R"(The shared-port driver: opens the receiver's serial port and offers two
pseudo-terminals, the NMEA port for any program that reads NMEA (gpsd) and
the debug port for ferrolan. Prints "nmea PATH debug PATH" (the two pty
devices) once they are ready, and runs until SIGTERM or SIGINT.)";

const char* const kFooter = R"(Exit codes
  0  stopped by SIGTERM or SIGINT
  1  the system refused a pseudo-terminal or a link
  2  bad command line
  3  the port names no device, or the device is missing
  4  the port cannot be opened or set up (another program has it, no
     permission, not a terminal)
  5  the receiver hung up (unplugged); its ports are gone with it)";

std::string speedTexts() {
  std::string t;
  for (const LineSpeed& s : kLineSpeeds) t += (t.empty() ? "" : ", ") + std::string(s.text);
  return t;
}

}  // namespace

CommandLine<PortdOptions> parsePortdOptions(const std::vector<std::string>& args) {
  CommandLine<PortdOptions> line;
  PortdOptions& o = line.options;
  CLI::App app(kDescription, "ferrolan-portd");
  setUpCommandLine(app, 24);
  app.footer(kFooter);
  app.add_option("--port", o.port, "the receiver's port: COMn: (as ferrolan maps it) or a device path")
      ->type_name("DEV|COMn:")->check(nonEmpty())->required();
  app.add_option("--root", o.root, "device root for COMn: names (.)")->type_name("DIR")->check(nonEmpty());
  app.add_option("--baud", o.baud, "the receiver's rate: " + speedTexts() + " (115200)")
      ->type_name("N")
      ->transform(CLI::Validator(
          [](std::string& text) -> std::string {
            uint32_t baud = 0;
            const char* end = text.data() + text.size();
            const auto [ptr, ec] = std::from_chars(text.data(), end, baud);
            if (text.empty() || ec != std::errc() || ptr != end || !lineSpeedFor(baud))
              return "'" + text + "' is not one of " + speedTexts();
            return {};
          },
          ""));
  app.add_option("--nmea-link", o.nmeaLink, "make PATH a symlink to the NMEA port")->type_name("PATH")->check(nonEmpty());
  app.add_option("--debug-link", o.debugLink, "make PATH a symlink to the debug port")
      ->type_name("PATH")
      ->check(nonEmpty());
  line.exit = parseCommandLine(app, args, FERROLAN_VERSION);
  return line;
}

}  // namespace ferrolan
