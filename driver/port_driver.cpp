#include "driver/port_driver.h"

#include <array>
#include <string_view>
#include <vector>

#include "driver/nmea_feed.h"

namespace ferrolan {

namespace {

// Writes to the receiver keep its usual limits; reads take what the line
// holds once the poll has waited.
constexpr PortTimeouts kForwardTimeouts{0, 0, 0, 10, 1000};
constexpr size_t kReadChunk = 4096;
// What the debug port passes to the receiver per turn, so a long upload
// never keeps the loop from the receiver's stream for long.
constexpr size_t kWriteChunk = 256;
// Peers and the debug port's line rate are looked at at least this often.
constexpr int kIdlePollMs = 200;

// Bytes waiting for a pty, taken from the front.
class ByteQueue {
 public:
  size_t size() const { return data_.size() - head_; }
  bool empty() const { return size() == 0; }
  const uint8_t* front() const { return data_.data() + head_; }
  void append(const uint8_t* p, size_t n) { data_.insert(data_.end(), p, p + n); }
  void consume(size_t n) {
    head_ += n < size() ? n : size();
    if (head_ == data_.size() || head_ > data_.size() / 2) {
      data_.erase(data_.begin(), data_.begin() + static_cast<std::ptrdiff_t>(head_));
      head_ = 0;
    }
  }
  void clear() { data_.clear(), head_ = 0; }

 private:
  std::vector<uint8_t> data_;
  size_t head_ = 0;
};

}  // namespace

struct PortDriver::Engine {
  std::function<void(const std::string&)> report;
  size_t debugLimit = kDebugQueueLimit;
  NmeaFeed feed;
  std::string nmeaPartial;  // the rest of a sentence the pty took only in part
  ByteQueue debugQueue;
  bool nmeaOpen = false, debugOpen = false;
  uint32_t debugBaud = 0;
  bool dropReported = false;
  std::atomic<uint64_t> fromReceiver{0}, toReceiver{0}, nmeaSentences{0}, nmeaDropped{0}, debugDropped{0}, framesRefused{0};
};

std::unique_ptr<PortDriver> PortDriver::create(std::shared_ptr<TtyPort> receiver, uint32_t baud, std::string& error,
                                               std::function<void(const std::string&)> report,
                                               size_t debugQueueLimit) {
  std::unique_ptr<PortDriver> d(new PortDriver());
  d->receiver_ = std::move(receiver);
  if (!d->receiver_) {
    error = "no receiver line";
    return nullptr;
  }
  d->nmea_ = PseudoTerminal::create(error);
  if (!d->nmea_) return nullptr;
  d->debug_ = PseudoTerminal::create(error);
  if (!d->debug_) return nullptr;
  d->engine_ = std::make_unique<Engine>();
  d->engine_->report = std::move(report);
  d->engine_->debugLimit = debugQueueLimit;
  // The debug port shows the receiver's rate; a rate the tool sets later
  // is what goes to the receiver.
  d->debug_->setPeerBaud(baud);
  d->nmea_->setPeerBaud(baud);
  d->engine_->debugBaud = d->debug_->lineBaud();
  d->receiver_->setTimeouts(kForwardTimeouts);
  return d;
}

PortDriver::~PortDriver() = default;

PortDriver::Stats PortDriver::stats() const {
  Stats s;
  s.fromReceiver = engine_->fromReceiver.load();
  s.toReceiver = engine_->toReceiver.load();
  s.nmeaSentences = engine_->nmeaSentences.load();
  s.nmeaDropped = engine_->nmeaDropped.load();
  s.debugDropped = engine_->debugDropped.load();
  s.framesRefused = engine_->framesRefused.load();
  return s;
}

PortDriver::Outcome PortDriver::run(const CancelToken& stop) {
  Engine& e = *engine_;
  std::array<uint8_t, kReadChunk> buf{};
  std::vector<std::string> sentences;

  auto flushNmea = [&] {
    while (!e.nmeaPartial.empty()) {
      const size_t w = nmea_->write(reinterpret_cast<const uint8_t*>(e.nmeaPartial.data()), e.nmeaPartial.size());
      if (w == 0) return;
      e.nmeaPartial.erase(0, w);
    }
  };
  auto sendNmea = [&](const std::string& s) {
    flushNmea();
    if (!e.nmeaPartial.empty()) {
      ++e.nmeaDropped;
      return;
    }
    const size_t w = nmea_->write(reinterpret_cast<const uint8_t*>(s.data()), s.size());
    if (w == 0) {
      ++e.nmeaDropped;
      return;
    }
    ++e.nmeaSentences;
    if (w < s.size()) e.nmeaPartial = s.substr(w);
  };
  auto flushDebug = [&] {
    while (!e.debugQueue.empty()) {
      const size_t w = debug_->write(e.debugQueue.front(), e.debugQueue.size());
      if (w == 0) return;
      e.debugQueue.consume(w);
    }
  };
  auto queueDebug = [&](const uint8_t* p, size_t n) {
    e.debugQueue.append(p, n);
    if (e.debugQueue.size() > e.debugLimit) {
      const size_t over = e.debugQueue.size() - e.debugLimit;
      e.debugQueue.consume(over);
      e.debugDropped += over;
      if (!e.dropReported && e.report) e.report("debug port: its reader is not keeping up; oldest bytes dropped");
      e.dropReported = true;
    }
    flushDebug();
  };
  // A reader that opens a port after nobody had it starts with fresh bytes.
  auto watchPeers = [&] {
    const bool nmeaNow = nmea_->peerOpens() > 0;
    if (nmeaNow != e.nmeaOpen) {
      nmea_->discardUnread();
      e.nmeaPartial.clear();
      e.nmeaOpen = nmeaNow;
    }
    const bool debugNow = debug_->peerOpens() > 0;
    if (debugNow != e.debugOpen) {
      debug_->discardUnread();
      e.debugQueue.clear();
      e.debugOpen = debugNow;
      e.dropReported = false;
    }
  };
  auto followDebugRate = [&] {
    const uint32_t rate = debug_->lineBaud();
    if (rate == 0 || rate == e.debugBaud) return;
    e.debugBaud = rate;
    LineSettings s;
    if (receiver_->getLineSettings(s)) receiver_->setLineSettings(withReceiverLine(s, rate));
  };

  watchPeers();
  for (;;) {
    enum { kReceiver, kNmea, kNmeaWatch, kDebug, kDebugWatch, kCount };
    std::array<PollEntry, kCount> p{};
    p[kReceiver] = {receiver_->nativeHandle(), true, false};
    p[kNmea] = {nmea_->lineFd(), true, !e.nmeaPartial.empty()};
    p[kNmeaWatch] = {nmea_->watchFd(), true, false};
    p[kDebug] = {debug_->lineFd(), true, !e.debugQueue.empty()};
    p[kDebugWatch] = {debug_->watchFd(), true, false};
    if (!pollEntries(p.data(), p.size(), kIdlePollMs, &stop)) {
      if (stop.cancelled()) return Outcome::Stopped;
      continue;
    }
    if (p[kNmeaWatch].readable || p[kDebugWatch].readable) watchPeers();
    followDebugRate();

    if (p[kReceiver].readable || p[kReceiver].hungUp) {
      const size_t n = receiver_->readAvailable(buf.data(), buf.size());
      if (n == 0 && (p[kReceiver].hungUp || receiver_->hungUp())) return Outcome::ReceiverGone;
      e.fromReceiver += n;
      if (e.debugOpen) queueDebug(buf.data(), n);
      sentences.clear();
      e.feed.take(buf.data(), n, sentences);
      e.framesRefused = e.feed.framesRefused();
      if (e.nmeaOpen)
        for (const auto& s : sentences) sendNmea(s);
    }
    if (p[kNmea].readable) {
      // Readers' writes (gpsd's probes) are not the receiver's business.
      while (nmea_->read(buf.data(), buf.size()) > 0) {
      }
    }
    if (p[kNmea].writable) flushNmea();
    if (p[kDebug].writable) flushDebug();
    if (p[kDebug].readable) {
      const size_t n = debug_->read(buf.data(), kWriteChunk);
      if (n > 0 && receiver_->write(buf.data(), n)) e.toReceiver += n;
      if (n > 0 && receiver_->hungUp()) return Outcome::ReceiverGone;
    }
  }
}

}  // namespace ferrolan
