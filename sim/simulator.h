#pragma once
// The program around the simulated receiver: one line (a pseudo-terminal,
// or a real device), the control channels (standard input and a FIFO) and
// the pacing of the bytes both ways at the line's rate. Each turn of the
// loop asks each event source in turn, one method each.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/pseudo_terminal.h"
#include "sim/control.h"
#include "sim/line.h"
#include "sim/options.h"
#include "sim/receiver.h"
#include "sim/replay.h"

namespace ferrolan::sim {

// Splits what arrives on a control descriptor into lines.
struct ControlChannel {
  int fd = -1;
  std::string partial;
  bool closed = false;
  std::vector<std::string> take();
};

class Simulator {
 public:
  // `capture`, when not empty, is played back instead of the epochs.
  Simulator(SimOptions options, Bytes capture);
  // Opens the line and its link and prints its path; false with the reason.
  bool open(std::string& error);
  // Until `quit`, the time given, or a device that went away; the exit code.
  int run();

 private:
  enum class Turn { Go, Skip, Quit, Fail };
  Turn onControl(const bool* ready, uint32_t now);
  Turn whileHungUp(uint32_t now);
  void onPeer(uint32_t now);
  void startReplay(uint32_t now);
  uint32_t lineRate();
  void onLineInput(bool ready, uint32_t now, uint32_t lineBaud);
  void onReceiverOutput(uint32_t now, uint32_t lineBaud);
  void hangUp(uint32_t now, uint32_t ms);
  void dropWire();
  std::string stateLine(uint32_t now) const;

  SimOptions opt_;
  SystemClock clock_;
  uint32_t start_;
  std::unique_ptr<PseudoTerminal> line_;
  Receiver rx_;
  OutputLine out_;
  ByteBudget inBudget_;
  std::optional<Replay> replay_;
  ControlChannel input_, fifo_;

  bool connected_ = false;   // a program has the line open
  bool beenAway_ = false;    // it was closed (or hung up) since
  uint32_t awayAt_ = 0;
  uint32_t framingErrors_ = 0;  // bytes the program sent at another rate
  bool hung_ = false;
  uint32_t hungUntil_ = 0;
  bool inputStarved_ = false;  // bytes wait on the line but the pacing allows none yet
  Bytes wire_;                 // what is being written, from wireSent_
  size_t wireSent_ = 0;
  uint32_t deviceBaud_;
};

}  // namespace ferrolan::sim
