#pragma once
// The shared-port driver: the one owner of the receiver's serial port,
// offering two pseudo-terminals.
//
// The NMEA port is for any program that reads NMEA (gpsd): the receiver's
// sentences, or sentences made from its binary solution while it streams
// frames. The receiver is never held up for it: a sentence that does not
// fit a full pty is dropped whole, so readers only ever see whole sentences,
// and nothing is kept while nobody has the port open (a reader that opens
// it starts with current sentences, not old ones). Readers share the pty as
// they would share a serial port; input they write is read and dropped.
//
// The debug port is the tool's: every byte from the receiver goes to it and
// every byte written to it goes to the receiver, which also takes the line
// rate the tool sets on it. While the port is open nothing is lost up to
// the queue limit (4 MiB by default: six minutes of 115200 baud for a
// tool that stops reading); past it the oldest bytes go and the drop is
// reported. While nobody has it open, the receiver's bytes are not kept,
// as on a serial line nobody reads.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/cancel.h"
#include "platform/pseudo_terminal.h"
#include "platform/tty_port.h"

namespace ferrolan {

inline constexpr size_t kDebugQueueLimit = size_t{4} << 20;

class PortDriver {
 public:
  struct Stats {
    uint64_t fromReceiver = 0;   // bytes read from the receiver
    uint64_t toReceiver = 0;     // bytes from the debug port written to it
    uint64_t nmeaSentences = 0;  // sentences put on the NMEA port
    uint64_t nmeaDropped = 0;    // sentences dropped on a full NMEA port
    uint64_t debugDropped = 0;   // bytes dropped past the debug queue limit
    uint64_t framesRefused = 0;  // frames whose checksum or length failed
  };
  enum class Outcome {
    Stopped,       // the stop token fired
    ReceiverGone,  // the receiver's line hung up (unplugged)
  };

  // Makes the two ports over an open receiver line at `baud`; null with
  // `error` set when the system refuses a pty. `report` hears of drops.
  static std::unique_ptr<PortDriver> create(std::shared_ptr<TtyPort> receiver, uint32_t baud, std::string& error,
                                            std::function<void(const std::string&)> report = {},
                                            size_t debugQueueLimit = kDebugQueueLimit);
  ~PortDriver();
  PortDriver(const PortDriver&) = delete;
  PortDriver& operator=(const PortDriver&) = delete;

  const std::string& nmeaPath() const { return nmea_->path(); }
  const std::string& debugPath() const { return debug_->path(); }

  // Forwards until `stop` fires or the receiver goes. Call once.
  Outcome run(const CancelToken& stop);
  // Safe from any thread while run() goes on.
  Stats stats() const;

 private:
  struct Engine;
  PortDriver() = default;

  std::shared_ptr<TtyPort> receiver_;
  std::unique_ptr<PseudoTerminal> nmea_, debug_;
  std::unique_ptr<Engine> engine_;
};

}  // namespace ferrolan
