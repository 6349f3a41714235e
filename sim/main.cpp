// ferrolan-sim: the simulated receiver on a pseudo-terminal. A thin loop
// around the receiver's state machine: poll the line, feed what arrives at
// the line's rate, put the receiver's bytes out at its rate.
#include <cstdio>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/pseudo_terminal.h"
#include "sim/control.h"
#include "sim/options.h"
#include "sim/receiver.h"
#include "sim/replay.h"

using namespace ferrolan;
using namespace ferrolan::sim;

namespace {

void say(const std::string& line) {
  std::fputs(line.c_str(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

std::unique_ptr<PseudoTerminal> openLine(const SimOptions& o, std::string& error) {
  if (!o.device.empty()) return PseudoTerminal::openDevice(o.device, o.receiver.baud, error);
  return PseudoTerminal::create(error);
}

// Splits what arrives on a control descriptor into lines.
struct LineReader {
  int fd = -1;
  std::string partial;
  bool closed = false;
  std::vector<std::string> take() {
    std::vector<std::string> lines;
    char buf[512];
    for (;;) {
      const long n = readSome(fd, buf, sizeof buf);
      if (n == -2) break;
      if (n <= 0) {
        closed = true;
        break;
      }
      partial.append(buf, static_cast<size_t>(n));
      if (partial.size() > 4096) partial.clear();  // no command is that long
    }
    size_t nl;
    while ((nl = partial.find('\n')) != std::string::npos) {
      lines.push_back(partial.substr(0, nl));
      partial.erase(0, nl + 1);
    }
    return lines;
  }
};

}  // namespace

int main(int argc, char** argv) {
  const CommandLine<SimOptions> parsed = parseOptions(std::vector<std::string>(argv + 1, argv + argc));
  if (parsed.exit) {
    std::fputs(parsed.exit->text.c_str(), parsed.exit->code == 0 ? stdout : stderr);
    return parsed.exit->code;
  }
  SimOptions opt = parsed.options;
  Bytes capture;
  if (!opt.replayFile.empty()) {
    std::ifstream f(opt.replayFile, std::ios::binary);
    if (!f) {
      std::fprintf(stderr, "ferrolan-sim: cannot read %s\n", opt.replayFile.c_str());
      return 2;
    }
    capture.assign(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
    opt.receiver.epochs = false;
    if (opt.replayFast) opt.line.pace = false;
  }

  SystemClock clock;
  const uint32_t start = clock.tickCount();
  std::string why;
  auto line = openLine(opt, why);
  if (!line) {
    std::fprintf(stderr, "ferrolan-sim: %s\n", why.c_str());
    return 1;
  }
  // The link first: whoever reads the path may open the link at once.
  if (!opt.link.empty() && !makeSymlink(line->path(), opt.link))
    std::fprintf(stderr, "ferrolan-sim: cannot make the link %s\n", opt.link.c_str());
  say(line->path());

  Receiver rx(opt.receiver, start);
  rx.setXmodemFaults(opt.xmodem);
  OutputLine out(opt.receiver.seed);
  out.faults = opt.line;
  ByteBudget inBudget;
  std::optional<Replay> replay;
  if (!capture.empty()) replay.emplace(std::move(capture), opt.replayFast, start + 500);

  LineReader input;
  input.fd = 0;
  setNonBlocking(0);
  LineReader fifo;
  if (!opt.control.empty()) {
    fifo.fd = openControlFifo(opt.control, why);
    if (fifo.fd < 0) std::fprintf(stderr, "ferrolan-sim: %s\n", why.c_str());
  }

  bool connected = line->peerOpens() > 0;
  bool beenAway = false;
  uint32_t awayAt = start;
  uint32_t framingErrors = 0;
  uint32_t hungUntil = 0;
  bool hung = false;
  Bytes wire;
  size_t wireSent = 0;
  uint32_t deviceBaud = opt.receiver.baud;

  bool inputStarved = false;  // bytes wait on the line but the pacing allows none yet
  for (;;) {
    const int fds[4] = {hung || inputStarved ? -1 : line->lineFd(), hung ? -1 : line->watchFd(), input.closed ? -1 : input.fd,
                        fifo.fd};
    bool ready[4] = {};
    waitForInput(fds, ready, 4, 5);
    const uint32_t now = clock.tickCount();
    if (opt.exitAfterSeconds > 0 && now - start >= static_cast<uint32_t>(opt.exitAfterSeconds * 1000)) break;

    ControlEffects fx;
    std::vector<std::string> commands;
    if (ready[2]) commands = input.take();
    if (ready[3])
      for (auto& c : fifo.take()) commands.push_back(std::move(c));
    for (const auto& c : commands) {
      const std::string reply = runControl(c, rx, out.faults, opt.xmodem, now, fx);
      if (fx.dumpState) {
        fx.dumpState = false;
        say(rx.stateLine(now) + " line-baud=" + std::to_string(hung ? 0 : line->lineBaud()) +
            " connected=" + (connected ? "yes" : "no") + " framing-errors=" + std::to_string(framingErrors) +
            " path=" + line->path());
      }
      if (!reply.empty()) say(reply);
    }
    if (fx.quit) break;
    if (fx.hangUpMs && !hung) {
      line->hangUp();
      hung = true;
      hungUntil = now + *fx.hangUpMs;
      connected = false;
      wire.clear();
      wireSent = 0;
      out.clear();
    }
    if (hung) {
      rx.advance(now);
      rx.takeOutput();
      if (static_cast<int32_t>(now - hungUntil) < 0) continue;
      line = openLine(opt, why);
      if (!line) {
        std::fprintf(stderr, "ferrolan-sim: %s\n", why.c_str());
        return 1;
      }
      hung = false;
      beenAway = true;
      awayAt = hungUntil;
      if (!opt.link.empty()) makeSymlink(line->path(), opt.link);
      say("path " + line->path());
      continue;
    }

    // Who has the line, and at which rate.
    const bool nowConnected = line->peerOpens() > 0;
    if (nowConnected && !connected) {
      if (opt.powerCycleOnReopen && beenAway && now - awayAt >= 1000) {
        rx.powerCycle(now);
        out.clear();
        wire.clear();
        wireSent = 0;
      }
    } else if (!nowConnected && connected) {
      beenAway = true;
      awayAt = now;
    }
    connected = nowConnected;
    uint32_t lineBaud = line->lineBaud();
    if (!line->isPty()) {
      // On a real device the receiver's rate is the line's rate.
      if (rx.baud() != deviceBaud && line->setBaud(rx.baud())) deviceBaud = rx.baud();
      lineBaud = deviceBaud;
    }

    // What the program sent, at the rate its port runs.
    uint8_t buf[4096];
    size_t room = out.faults.pace ? inBudget.available(now, lineBaud ? lineBaud : 9600) : sizeof buf;
    if (room > sizeof buf) room = sizeof buf;
    const size_t n = room ? line->read(buf, room) : 0;
    // Without this the poll above would return at once, over and over.
    inputStarved = room == 0 && ready[0];
    if (out.faults.pace) inBudget.spend(n);
    if (n > 0) {
      if (lineBaud == rx.baud())
        rx.receive(buf, n, now);
      else
        framingErrors += static_cast<uint32_t>(n);
    }

    rx.advance(now);
    Bytes produced = rx.takeOutput();
    if (replay) replay->advance(now, produced);
    out.queue(produced);
    rx.noteBacklog(out.backlog() + wire.size() - wireSent);

    if (wireSent == wire.size()) {
      wire = out.drain(now, rx.baud(), lineBaud);
      wireSent = 0;
    }
    if (!connected) {
      // Nobody listens: what goes out is lost, as on an unplugged cable.
      wire.clear();
      wireSent = 0;
      line->discardUnread();
    } else if (wireSent < wire.size()) {
      wireSent += line->write(wire.data() + wireSent, wire.size() - wireSent);
    }
    if (line->hungUp() && !line->isPty()) {
      std::fprintf(stderr, "ferrolan-sim: the line %s is gone\n", line->path().c_str());
      return 1;
    }
  }
  if (!opt.link.empty()) removeSymlink(opt.link);
  return 0;
}
