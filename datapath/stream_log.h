#pragma once
// What the receive thread hands the raw log, when one is registered: each
// NMEA line as it is emitted, each VBI byte as it is read. The log decides
// whether a file is open; the receive thread only shows the outcome.

#include <cstdint>
#include <string_view>

namespace ferrolan {

class StreamLog {
 public:
  virtual ~StreamLog() = default;
  // An emitted line, exactly as normalised; true when a log file took it.
  virtual bool writeLine(std::string_view line) = 0;
  // One VBI byte, after a rotation to a new file when the buffer is full;
  // true when it went into the buffer.
  virtual bool feedByte(uint8_t byte) = 0;
  // The buffer's fill in percent, for the progress bar at each frame start:
  // length / (capacity / 100), which the log must keep defined for a
  // capacity below 100 bytes.
  virtual int fillPercent() = 0;
  // The line has gone: what the log holds is written out and it stops.
  virtual void lineLost() = 0;
  // The line is connected again after lineLost: a log that was running then
  // goes on, in a file of its own.
  virtual void lineBack() {}
};

}  // namespace ferrolan
