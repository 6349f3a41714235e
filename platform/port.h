#pragma once
// The serial line as the rest of the program sees it. Everything that talks
// to the receiver goes through this interface, so tests can script the
// receiver's side and run long waits on a virtual clock.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/cancel.h"

namespace ferrolan {

// Read and write time-outs, in the shape the receiver routines expect:
// a one-byte read returns a byte at once or nothing after about a second,
// a write of n bytes gives up after writeMultiplierMs * n + writeConstantMs.
struct PortTimeouts {
  uint32_t readIntervalMs = 0;
  uint32_t readMultiplierMs = 0;
  uint32_t readConstantMs = 0;
  uint32_t writeMultiplierMs = 0;
  uint32_t writeConstantMs = 0;
  bool operator==(const PortTimeouts&) const = default;
};

// The timing every open of the receiver port applies.
inline constexpr PortTimeouts kReceiverTimeouts{0xFFFFFFFFu, 10, 1000, 10, 1000};

enum class RtsControl : uint8_t { Disable, Enable, Handshake, Toggle };
enum class DtrControl : uint8_t { Disable, Enable, Handshake };

// Line control: the fields the receiver routines read and set.
struct LineSettings {
  uint32_t baud = 9600;
  uint8_t dataBits = 8;
  uint8_t stopBits = 1;          // 1 or 2
  bool parityCheck = false;      // parity enable flag
  uint8_t parity = 0;            // 0 none, 1 odd, 2 even; left as reported
  bool ctsOutFlow = false;
  DtrControl dtr = DtrControl::Enable;
  RtsControl rts = RtsControl::Handshake;
  bool xonXoffOut = false;
  bool xonXoffIn = false;
  bool operator==(const LineSettings&) const = default;
};

// Applies the fixed receiver line settings to a state read from the port.
inline LineSettings withReceiverLine(LineSettings s, uint32_t baud) {
  s.baud = baud;
  s.dataBits = 8;
  s.stopBits = 1;
  s.parityCheck = false;
  s.ctsOutFlow = false;
  s.dtr = DtrControl::Enable;
  s.rts = RtsControl::Handshake;
  s.xonXoffOut = false;
  s.xonXoffIn = false;
  return s;
}

enum PurgeFlags : unsigned {
  kPurgeTxAbort = 1,
  kPurgeRxAbort = 2,
  kPurgeTxClear = 4,
  kPurgeRxClear = 8,
};

class Port {
 public:
  virtual ~Port() = default;

  // One byte: true with the byte as soon as one is there; false after the
  // read time-out, on a hang-up or when woken by interruptRead().
  virtual bool readByte(uint8_t& out) = 0;
  // One read call of up to max bytes under the same time-outs; returns the
  // count received (0 on time-out or error).
  virtual size_t read(uint8_t* buf, size_t max) = 0;
  // Writes all n bytes within the write time-out, or answers false.
  virtual bool write(const uint8_t* data, size_t n) = 0;

  virtual bool getTimeouts(PortTimeouts& out) = 0;
  virtual bool setTimeouts(const PortTimeouts& t) = 0;
  virtual bool getLineSettings(LineSettings& out) = 0;
  virtual bool setLineSettings(const LineSettings& s) = 0;
  virtual bool purge(unsigned flags) = 0;

  // As readByte, but gives up at once, with no byte, when `cancel` fires;
  // lets a worker that lives on the port be stopped without a time-out.
  virtual bool readByteOrCancel(uint8_t& out, const CancelToken& cancel) {
    return !cancel.cancelled() && readByte(out);
  }

  // True once the line has gone for good (the device was unplugged, the
  // other end of a pseudo-terminal closed): reads will deliver nothing.
  virtual bool hungUp() const { return false; }

  // Ends the port for every holder of it, not just the caller: calls in
  // progress return at once, later ones answer false or 0, and the device
  // is released so that it can be opened again straight away. Idempotent.
  virtual void close() = 0;
};

// Opens a port by name ("COM3:" or "/dev/ttyUSB0"); null when it cannot.
class PortOpener {
 public:
  virtual ~PortOpener() = default;
  virtual std::shared_ptr<Port> open(const std::string& name) = 0;
  // The file that `name` opens, for watching it come back once it has
  // gone; empty when the opener has none to show.
  virtual std::string devicePath(const std::string& name) {
    (void)name;
    return {};
  }
};

}  // namespace ferrolan
