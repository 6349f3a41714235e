#pragma once
// One receiver's update on the station: the unattended update procedure on
// a context of its own, watched from outside (its stage, its progress, the
// bytes sent) and interruptible from another thread.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "core/sha256.h"
#include "platform/clock.h"
#include "platform/port.h"
#include "platform/tty_port.h"

namespace ferrolan {

// The system clock of one run. Once stopped, sleeps return at once and
// every reading is a minute after the one before, so each time-out of the
// procedure has passed by the time it looks.
class RunClock final : public Clock {
 public:
  uint32_t tickCount() override;
  void sleepMs(uint32_t ms) override;
  CalendarTime utcNow() override { return system_.utcNow(); }
  CalendarTime localNow() override { return system_.localNow(); }
  void stop();

 private:
  SystemClock system_;
  std::mutex m_;
  std::condition_variable cv_;
  bool stopped_ = false;
  uint32_t skipped_ = 0;
};

// Opens the run's ports by device path, remembers why an open failed, and
// closes every port it opened when the run is interrupted.
class RunPorts final : public PortOpener {
 public:
  explicit RunPorts(std::string root) : ttys_(std::move(root)) {}
  std::shared_ptr<Port> open(const std::string& name) override;
  void closeAll();
  std::string lastFailure() const;

 private:
  TtyPortOpener ttys_;
  mutable std::mutex m_;
  bool closed_ = false;
  std::vector<std::weak_ptr<Port>> opened_;
  std::string failure_;
};

enum class RunResult { Running, Ok, Fail, Interrupted };  // the summary counts by this order
const char* runResultText(RunResult r);

// What the table shows and the record keeps; a copy taken under the lock.
struct RunView {
  std::string port;
  std::string version;  // "3.17", empty until reported
  std::string stage;    // the procedure's latest text
  int percent = -1;     // -1 before the transfer
  uint32_t secondsLeft = 0;
  RunResult result = RunResult::Running;
  std::optional<std::string> file;  // the device path of the file opened
  uint64_t fileBytes = 0;
  uint64_t bytesSent = 0;  // acknowledged by the receiver
  std::string sha256;      // of the bytes read for sending, once sent whole
  std::string failure;
};

struct RunSetup {
  std::string root;        // the device root
  std::string port;        // a device path
  std::string refusal;     // set: the run is refused with this text, nothing opened
};

class ReceiverRun {
 public:
  explicit ReceiverRun(RunSetup setup);
  ~ReceiverRun();
  ReceiverRun(const ReceiverRun&) = delete;
  ReceiverRun& operator=(const ReceiverRun&) = delete;

  // Runs the procedure to its end on the calling thread.
  void run();
  // From any thread: the run ends soon after, as interrupted.
  void interrupt();
  RunView view() const;

 private:
  struct Watcher;
  RunSetup setup_;
  RunClock clock_;
  RunPorts ports_;
  std::unique_ptr<Watcher> watcher_;
  std::atomic<bool> interrupted_{false};
};

}  // namespace ferrolan
