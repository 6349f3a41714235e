// ferrolan-portd: the shared-port driver as a program. Opens the receiver's
// port, offers the NMEA and debug ports, links them where asked, and runs
// until told to stop or the receiver goes.
#include <cstdio>
#include <string>
#include <vector>

#include "driver/port_driver.h"
#include "driver/portd_options.h"
#include "platform/cancel.h"
#include "platform/device_root.h"
#include "platform/pseudo_terminal.h"
#include "platform/signals.h"
#include "platform/tty_port.h"

using namespace ferrolan;

namespace {

void complain(const std::string& text) { std::fprintf(stderr, "ferrolan-portd: %s\n", text.c_str()); }

}  // namespace

int main(int argc, char** argv) {
  const CommandLine<PortdOptions> parsed = parsePortdOptions(std::vector<std::string>(argv + 1, argv + argc));
  if (parsed.exit) {
    std::fputs(parsed.exit->text.c_str(), parsed.exit->code == 0 ? stdout : stderr);
    return parsed.exit->code;
  }
  const PortdOptions& o = parsed.options;
  ignoreBrokenPipes();
  // Before any other thread: the signals then reach only the watch.
  CancelToken stop;
  TerminationWatch watch;
  if (!watch.start([&stop](int) { stop.cancel(); })) {
    complain("cannot watch for SIGTERM and SIGINT");
    return kPortdSystemRefused;
  }

  const std::string device = resolvePortDevice(o.root, o.port);
  if (device.empty()) {
    complain("'" + o.port + "' names no serial port (COM0: ... COM9: or a path beginning with /)");
    return kPortdNoSuchPort;
  }
  if (!fileExists(device)) {
    complain(device + ": no such device");
    return kPortdNoSuchPort;
  }
  std::shared_ptr<TtyPort> port = TtyPort::open(device);
  if (!port) {
    complain("cannot open " + device + ": another program has it, or it is not a terminal we may open");
    return kPortdPortBusy;
  }
  LineSettings line;
  if (!port->getLineSettings(line) || !port->setLineSettings(withReceiverLine(line, o.baud))) {
    complain("cannot set " + device + " to " + std::to_string(o.baud) + " baud");
    return kPortdPortBusy;
  }

  std::string why;
  auto driver = PortDriver::create(port, o.baud, why, complain);
  if (!driver) {
    complain(why);
    return kPortdSystemRefused;
  }
  std::vector<std::string> links;
  auto link = [&](const std::string& target, const std::string& path) {
    if (path.empty()) return true;
    if (!makeSymlink(target, path)) {
      complain("cannot make the link " + path);
      return false;
    }
    links.push_back(path);
    return true;
  };
  auto removeLinks = [&] {
    for (const auto& l : links) removeSymlink(l);
  };
  if (!link(driver->nmeaPath(), o.nmeaLink) || !link(driver->debugPath(), o.debugLink)) {
    removeLinks();
    return kPortdSystemRefused;
  }
  std::printf("nmea %s debug %s\n", driver->nmeaPath().c_str(), driver->debugPath().c_str());
  std::fflush(stdout);

  const PortDriver::Outcome outcome = driver->run(stop);
  removeLinks();
  port->close();
  if (outcome == PortDriver::Outcome::ReceiverGone) {
    complain("the receiver at " + device + " hung up (unplugged?); the NMEA and debug ports are closed");
    return kPortdReceiverGone;
  }
  return kPortdStopped;
}
