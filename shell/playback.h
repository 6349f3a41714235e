#pragma once
// Playback of a recorded log (NMEA text or the binary VBI log the tool
// writes) as if a receiver were connected: ferrolan-sim plays it byte for
// byte on a pseudo-terminal in the log's own time, and the session reads it
// through the real port, receive thread and display thread.

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/port.h"
#include "platform/process.h"
#include "platform/worker.h"

namespace ferrolan {

struct Context;

inline constexpr const char* kPlaybackEndedText = "Playback ended.";
// The rate of the played line: any rate would do, the simulator sets it to
// the log's time, not to the line's.
inline constexpr int kPlaybackBaud = 115200;

// The simulator playing the log.
class PlaybackSetup {
 public:
  PlaybackSetup() = default;
  ~PlaybackSetup() { stop(); }
  PlaybackSetup(const PlaybackSetup&) = delete;
  PlaybackSetup& operator=(const PlaybackSetup&) = delete;

  // Starts simPath playing `log` at `speed` (0: as fast as the line goes);
  // false with a reason in error.
  bool start(const std::string& simPath, const std::string& log, double speed, std::string& error);
  // Stops the simulator. Safe to call twice.
  void stop();
  const std::string& line() const { return line_; }
  uint64_t logSize() const { return logSize_; }

 private:
  ChildProcess sim_;
  std::string line_;
  uint64_t logSize_ = 0;
};

// Opens ports through `inner` and counts every byte read from those that
// name `line`: the playback has ended once the log's bytes have all been read.
class CountingPortOpener final : public PortOpener {
 public:
  CountingPortOpener(PortOpener& inner, std::string line) : inner_(inner), line_(std::move(line)) {}
  std::shared_ptr<Port> open(const std::string& name) override;
  std::string devicePath(const std::string& name) override { return inner_.devicePath(name); }
  uint64_t bytesRead() const { return *count_; }

 private:
  PortOpener& inner_;
  std::string line_;
  std::shared_ptr<std::atomic<uint64_t>> count_ = std::make_shared<std::atomic<uint64_t>>(0);
};

// The session's side (marked as a playback), on a worker of its own:
// connects to `line` (the stream it detects sets the mode), waits
// until `logSize` bytes have been read through `ports` or the line is gone,
// has the receive thread hand on the last sentence or frame (which no next
// one closes), and the display thread write the end line once it has shown
// everything. The pages keep what they show.
void runPlayback(Context& ctx, WorkerControl& ctl, const std::string& line, const CountingPortOpener& ports,
                 uint64_t logSize);

}  // namespace ferrolan
