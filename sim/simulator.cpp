#include "sim/simulator.h"

#include <cstdio>

namespace ferrolan::sim {

namespace {

constexpr size_t kMaxControlLine = 4096;  // no command is that long
constexpr int kPollMs = 5;
constexpr uint32_t kAwayForGoodMs = 3600000;

void say(const std::string& line) {
  std::fputs(line.c_str(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

std::unique_ptr<PseudoTerminal> openLine(const SimOptions& o, std::string& error) {
  if (!o.device.empty()) return PseudoTerminal::openDevice(o.device, o.receiver.baud, error);
  return PseudoTerminal::create(error);
}

}  // namespace

std::vector<std::string> ControlChannel::take() {
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
    if (partial.size() > kMaxControlLine) partial.clear();
  }
  size_t nl;
  while ((nl = partial.find('\n')) != std::string::npos) {
    lines.push_back(partial.substr(0, nl));
    partial.erase(0, nl + 1);
  }
  return lines;
}

Simulator::Simulator(SimOptions options, Bytes capture)
    : opt_(std::move(options)),
      start_(clock_.tickCount()),
      rx_(opt_.receiver, start_),
      out_(opt_.receiver.seed),
      awayAt_(start_),
      deviceBaud_(opt_.receiver.baud) {
  rx_.setXmodemFaults(opt_.xmodem);
  out_.faults = opt_.line;
  if (!capture.empty()) replay_.emplace(std::move(capture), opt_.replaySpeed);
}

bool Simulator::open(std::string& error) {
  line_ = openLine(opt_, error);
  if (!line_) return false;
  // The link first: whoever reads the path may open the link at once.
  if (!opt_.link.empty() && !makeSymlink(line_->path(), opt_.link))
    std::fprintf(stderr, "ferrolan-sim: cannot make the link %s\n", opt_.link.c_str());
  say(line_->path());
  input_.fd = 0;
  setNonBlocking(0);
  if (!opt_.control.empty()) {
    fifo_.fd = openControlFifo(opt_.control, error);
    if (fifo_.fd < 0) std::fprintf(stderr, "ferrolan-sim: %s\n", error.c_str());
  }
  connected_ = line_->peerOpens() > 0;
  if (connected_) startReplay(start_);
  return true;
}

int Simulator::run() {
  for (;;) {
    const int fds[4] = {hung_ || inputStarved_ ? -1 : line_->lineFd(), hung_ ? -1 : line_->watchFd(),
                        input_.closed ? -1 : input_.fd, fifo_.fd};
    bool ready[4] = {};
    waitForInput(fds, ready, 4, kPollMs);
    const uint32_t now = clock_.tickCount();
    if (opt_.exitAfterSeconds > 0 && now - start_ >= static_cast<uint32_t>(opt_.exitAfterSeconds * 1000)) break;

    Turn turn = onControl(ready, now);
    if (turn == Turn::Go && hung_) turn = whileHungUp(now);
    if (turn == Turn::Quit) break;
    if (turn == Turn::Fail) return 1;
    if (turn == Turn::Skip) continue;

    onPeer(now);
    const uint32_t lineBaud = lineRate();
    onLineInput(ready[0], now, lineBaud);
    onReceiverOutput(now, lineBaud);
    if (line_->hungUp() && !line_->isPty()) {
      std::fprintf(stderr, "ferrolan-sim: the line %s is gone\n", line_->path().c_str());
      return 1;
    }
  }
  if (!opt_.link.empty()) removeSymlink(opt_.link);
  return 0;
}

Simulator::Turn Simulator::onControl(const bool* ready, uint32_t now) {
  std::vector<std::string> commands;
  if (ready[2]) commands = input_.take();
  if (ready[3])
    for (auto& c : fifo_.take()) commands.push_back(std::move(c));
  ControlEffects fx;
  for (const auto& c : commands) {
    const std::string reply = runControl(c, rx_, out_.faults, opt_.xmodem, now, fx);
    if (fx.dumpState) {
      fx.dumpState = false;
      say(stateLine(now));
    }
    if (!reply.empty()) say(reply);
  }
  if (fx.quit) return Turn::Quit;
  if (fx.hangUpMs && !hung_) hangUp(now, *fx.hangUpMs);
  return Turn::Go;
}

std::string Simulator::stateLine(uint32_t now) const {
  return rx_.stateLine(now) + " line-baud=" + std::to_string(hung_ ? 0 : line_->lineBaud()) +
         " connected=" + (connected_ ? "yes" : "no") + " framing-errors=" + std::to_string(framingErrors_) +
         " path=" + line_->path();
}

void Simulator::hangUp(uint32_t now, uint32_t ms) {
  line_->hangUp();
  hung_ = true;
  hungUntil_ = now + ms;
  connected_ = false;
  dropWire();
  out_.clear();
}

void Simulator::dropWire() {
  wire_.clear();
  wireSent_ = 0;
}

// The receiver runs on while the line is away; then a new line, a new path.
Simulator::Turn Simulator::whileHungUp(uint32_t now) {
  rx_.advance(now);
  rx_.takeOutput();
  if (static_cast<int32_t>(now - hungUntil_) < 0) return Turn::Skip;
  std::string why;
  line_ = openLine(opt_, why);
  if (!line_) {
    std::fprintf(stderr, "ferrolan-sim: %s\n", why.c_str());
    return Turn::Fail;
  }
  hung_ = false;
  beenAway_ = true;
  awayAt_ = hungUntil_;
  if (!opt_.link.empty()) makeSymlink(line_->path(), opt_.link);
  say("path " + line_->path());
  return Turn::Skip;
}

// Who has the line: a program that opens it again after a while finds a
// receiver that was powered down with it, when asked to.
void Simulator::onPeer(uint32_t now) {
  const bool nowConnected = line_->peerOpens() > 0;
  if (nowConnected && !connected_) {
    startReplay(now);
    if (opt_.powerCycleOnReopen && beenAway_ && now - awayAt_ >= 1000) {
      rx_.powerCycle(now);
      out_.clear();
      dropWire();
    }
  } else if (!nowConnected && connected_) {
    beenAway_ = true;
    awayAt_ = now;
  }
  connected_ = nowConnected;
}

// Half a second after the first listener opens the line: the time a
// program takes to set the line up and start reading.
void Simulator::startReplay(uint32_t now) {
  if (replay_) replay_->startAt(now + 500);
}

uint32_t Simulator::lineRate() {
  if (line_->isPty()) return line_->lineBaud();
  // On a real device the receiver's rate is the line's rate.
  if (rx_.baud() != deviceBaud_ && line_->setBaud(rx_.baud())) deviceBaud_ = rx_.baud();
  return deviceBaud_;
}

// What the program sent, at the rate its port runs.
void Simulator::onLineInput(bool ready, uint32_t now, uint32_t lineBaud) {
  uint8_t buf[4096];
  size_t room = out_.faults.pace ? inBudget_.available(now, lineBaud ? lineBaud : 9600) : sizeof buf;
  if (room > sizeof buf) room = sizeof buf;
  const size_t n = room ? line_->read(buf, room) : 0;
  // Without this the poll would return at once, over and over.
  inputStarved_ = room == 0 && ready;
  if (out_.faults.pace) inBudget_.spend(n);
  if (n == 0) return;
  if (lineBaud == rx_.baud()) {
    rx_.receive(buf, n, now);
    if (opt_.hangUpAtBlock && rx_.kernelBlocksReceiving() >= opt_.hangUpAtBlock) {
      opt_.hangUpAtBlock = 0;
      hangUp(now, kAwayForGoodMs);
    }
  } else
    framingErrors_ += static_cast<uint32_t>(n);
}

// What the receiver (or the capture) puts out, at its rate.
void Simulator::onReceiverOutput(uint32_t now, uint32_t lineBaud) {
  rx_.advance(now);
  Bytes produced = rx_.takeOutput();
  if (replay_) replay_->advance(now, produced);
  out_.queue(produced);
  rx_.noteBacklog(out_.backlog() + wire_.size() - wireSent_);

  if (wireSent_ == wire_.size()) {
    wire_ = out_.drain(now, rx_.baud(), lineBaud);
    wireSent_ = 0;
  }
  if (!connected_) {
    // Nobody listens: what goes out is lost, as on an unplugged cable.
    dropWire();
    line_->discardUnread();
  } else if (wireSent_ < wire_.size()) {
    wireSent_ += line_->write(wire_.data() + wireSent_, wire_.size() - wireSent_);
  }
}

}  // namespace ferrolan::sim
