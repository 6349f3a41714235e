#include "shell/playback.h"

#include <filesystem>
#include <fstream>

#include "app/context.h"
#include "core/text.h"
#include "link/serial_session.h"
#include "shell/demo.h"

namespace ferrolan {

namespace {

namespace fs = std::filesystem;

// How often the worker looks whether the log has been read.
constexpr uint32_t kLookMs = 20;

// Forwards everything to the port it wraps, counting what is read.
class CountingPort final : public Port {
 public:
  CountingPort(std::shared_ptr<Port> port, std::shared_ptr<std::atomic<uint64_t>> count)
      : port_(std::move(port)), count_(std::move(count)) {}
  bool readByte(uint8_t& out) override { return counted(port_->readByte(out)); }
  size_t read(uint8_t* buf, size_t max) override {
    const size_t n = port_->read(buf, max);
    *count_ += n;
    return n;
  }
  bool readByteOrCancel(uint8_t& out, const CancelToken& cancel) override {
    return counted(port_->readByteOrCancel(out, cancel));
  }
  bool write(const uint8_t* data, size_t n) override { return port_->write(data, n); }
  bool getTimeouts(PortTimeouts& out) override { return port_->getTimeouts(out); }
  bool setTimeouts(const PortTimeouts& t) override { return port_->setTimeouts(t); }
  bool getLineSettings(LineSettings& out) override { return port_->getLineSettings(out); }
  bool setLineSettings(const LineSettings& s) override { return port_->setLineSettings(s); }
  bool purge(unsigned flags) override { return port_->purge(flags); }
  bool hungUp() const override { return port_->hungUp(); }
  void close() override { port_->close(); }

 private:
  bool counted(bool got) {
    if (got) ++*count_;
    return got;
  }
  std::shared_ptr<Port> port_;
  std::shared_ptr<std::atomic<uint64_t>> count_;
};

}  // namespace

bool PlaybackSetup::start(const std::string& simPath, const std::string& log, double speed, std::string& error) {
  std::error_code ec;
  if (!fs::is_regular_file(log, ec) || !std::ifstream(log, std::ios::binary)) {
    error = "cannot read " + log;
    return false;
  }
  logSize_ = fs::file_size(log, ec);
  if (ec) {
    error = "cannot read " + log;
    return false;
  }
  // The log's time paces the line, not its rate.
  return startSimulator(sim_, {simPath, "--replay", log, "--speed", format("%g", speed), "--baud",
                               std::to_string(kPlaybackBaud), "--no-pacing"},
                        line_, error);
}

void PlaybackSetup::stop() { sim_.stop(); }

std::shared_ptr<Port> CountingPortOpener::open(const std::string& name) {
  std::shared_ptr<Port> port = inner_.open(name);
  if (!port || name != line_) return port;
  return std::make_shared<CountingPort>(std::move(port), count_);
}

void runPlayback(Context& ctx, WorkerControl& ctl, const std::string& line, const CountingPortOpener& ports,
                 uint64_t logSize) {
  if (!connectPlayback(ctx, line, kPlaybackBaud)) {
    ctx.textLog.append(kPlaybackEndedText);
    return;
  }
  while (ports.bytesRead() < logSize && ctx.session.connected && !ctl.stopRequested())
    ctx.events.waitForAny({}, kLookMs, &ctl.cancelToken());
  if (ctl.stopRequested()) return;
  // The log's last sentence or frame has no next one to close it: the
  // receive thread hands it on, between two reads, so after every byte it
  // read. The display thread then serves the barrier after every refresh
  // they asked for.
  StreamEndRequests& end = ctx.dataPath.streamEnd;
  const uint32_t asked = ++end.requested;
  while (end.done != asked && ctx.session.connected && !ctl.stopRequested())
    ctx.events.waitForAny({}, kLookMs, &ctl.cancelToken());
  if (ctl.stopRequested()) return;
  auto ended = [&ctx] { ctx.textLog.append(kPlaybackEndedText); };
  if (!ctx.dataPath.barrier.post(ended)) ended();
}

}  // namespace ferrolan
