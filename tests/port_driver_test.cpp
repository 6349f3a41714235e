// The forwarding engine over real pseudo-terminals: a pty pair stands for
// the receiver's serial line, and the NMEA and debug ports are read through
// the program's own port code.
#include <gtest/gtest.h>

#include <future>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "driver/port_driver.h"
#include "link/command_sentences.h"
#include "platform/pseudo_terminal.h"
#include "platform/tty_port.h"

using namespace ferrolan;

namespace {

using Bytes = std::vector<uint8_t>;

struct Rig {
  std::unique_ptr<PseudoTerminal> line;  // the receiver's end
  std::shared_ptr<TtyPort> port;
  std::unique_ptr<PortDriver> driver;
  CancelToken stop;
  std::future<PortDriver::Outcome> outcome;

  explicit Rig(size_t debugLimit = kDebugQueueLimit) {
    std::string error;
    line = PseudoTerminal::create(error);
    port = line ? TtyPort::open(line->path()) : nullptr;
    if (port) driver = PortDriver::create(port, 115200, error, {}, debugLimit);
    if (driver) outcome = std::async(std::launch::async, [this] { return driver->run(stop); });
    EXPECT_TRUE(driver) << error;
  }
  ~Rig() {
    stop.cancel();
    if (outcome.valid()) outcome.wait();
  }
  void send(const Bytes& b) {
    for (size_t done = 0; done < b.size();) {
      const size_t w = line->write(b.data() + done, b.size() - done);
      done += w;
      if (w == 0) std::this_thread::yield();
    }
  }
  void send(const std::string& s) { send(Bytes(s.begin(), s.end())); }
  static std::shared_ptr<TtyPort> reader(const std::string& path) {
    auto p = TtyPort::open(path);
    if (p) p->setTimeouts({0, 0, 50, 10, 1000});
    return p;
  }
  // Reads until `done` holds of what came; at most `reads` empty reads.
  template <class Done>
  static Bytes readUntil(Port& p, Done done, int reads = 100) {
    Bytes got;
    uint8_t buf[4096];
    while (!done(got) && reads > 0) {
      const size_t n = p.read(buf, sizeof buf);
      got.insert(got.end(), buf, buf + n);
      if (n == 0) --reads;
    }
    return got;
  }
  // The driver learns of a new reader through the pty's open events; until
  // a probe comes through, nothing sent is meant for that reader.
  void waitUntilHeard(Port& p) {
    const std::string probe = composeSentence("$GPTXT,probe");
    bool heard = false;
    for (int i = 0; i < 200 && !heard; ++i) {
      send(probe);
      const Bytes got = readUntil(p, [](const Bytes& b) { return !b.empty(); }, 1);
      heard = std::string(got.begin(), got.end()).find(probe) != std::string::npos;
    }
    ASSERT_TRUE(heard);
    readUntil(p, [](const Bytes&) { return false; }, 2);  // the surplus probes
  }
};

Bytes noise(size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  Bytes b(n);
  for (auto& x : b) x = static_cast<uint8_t>(rng());
  return b;
}

bool endsWith(const Bytes& b, const Bytes& tail) {
  return b.size() >= tail.size() && std::equal(tail.begin(), tail.end(), b.end() - static_cast<long>(tail.size()));
}

}  // namespace

TEST(PortDriver, DebugPortCarriesEveryByteBothWaysAndItsLineRateToTheReceiver) {
  Rig rig;
  auto tool = Rig::reader(rig.driver->debugPath());
  ASSERT_TRUE(tool);
  rig.waitUntilHeard(*tool);
  for (size_t size : {1, 4095, 262144}) {
    const Bytes in = noise(size, static_cast<unsigned>(size));
    std::thread sender([&] { rig.send(in); });
    const Bytes got = Rig::readUntil(*tool, [&](const Bytes& b) { return b.size() >= in.size(); });
    sender.join();
    EXPECT_TRUE(got == in) << got.size() << " of " << size << " bytes from the receiver";

    const Bytes out = noise(size, static_cast<unsigned>(size) + 1);
    std::thread writer([&] { EXPECT_TRUE(tool->write(out.data(), out.size())); });
    Bytes at;
    uint8_t buf[4096];
    for (int idle = 0; at.size() < out.size() && idle < 2000;) {
      const size_t n = rig.line->read(buf, sizeof buf);
      at.insert(at.end(), buf, buf + n);
      if (n == 0) ++idle, std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    writer.join();
    EXPECT_TRUE(at == out) << at.size() << " of " << size << " bytes to the receiver";
  }
  LineSettings s;
  ASSERT_TRUE(tool->getLineSettings(s));
  ASSERT_TRUE(tool->setLineSettings(withReceiverLine(s, 57600)));
  tool->write(reinterpret_cast<const uint8_t*>("x"), 1);  // a turn of the loop
  for (int i = 0; i < 500 && rig.line->lineBaud() != 57600; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_EQ(rig.line->lineBaud(), 57600u);
  EXPECT_EQ(rig.driver->stats().debugDropped, 0u);
}

TEST(PortDriver, AnNmeaReaderThatStopsReadingLosesSentencesButNeverHoldsUpTheDebugPort) {
  Rig rig;
  auto tool = Rig::reader(rig.driver->debugPath());
  auto gps = Rig::reader(rig.driver->nmeaPath());
  ASSERT_TRUE(tool && gps);
  rig.waitUntilHeard(*tool);
  rig.waitUntilHeard(*gps);
  Rig::readUntil(*tool, [](const Bytes&) { return false; }, 2);  // the probes
  // Far more than a pty holds; the NMEA reader reads none of it.
  std::string stream;
  for (int i = 0; stream.size() < (size_t{2} << 20); ++i) stream += composeSentence("$GPZDA," + std::to_string(i));
  std::thread sender([&] { rig.send(stream); });
  const Bytes got = Rig::readUntil(*tool, [&](const Bytes& b) { return b.size() >= stream.size(); });
  sender.join();
  EXPECT_TRUE(std::string(got.begin(), got.end()) == stream) << got.size() << " of " << stream.size() << " bytes";
  const PortDriver::Stats st = rig.driver->stats();
  EXPECT_GT(st.nmeaDropped, 0u);
  // What the NMEA reader then finds is whole sentences only.
  const Bytes kept = Rig::readUntil(*gps, [](const Bytes&) { return false; }, 3);
  ASSERT_FALSE(kept.empty());
  const std::string text(kept.begin(), kept.end());
  for (size_t at = 0, end; (end = text.find("\r\n", at)) != std::string::npos; at = end + 2)
    EXPECT_TRUE(checksumHolds(text.substr(at, end - at))) << text.substr(at, end - at);
  EXPECT_TRUE(text.ends_with("\r\n"));

  // A reader that goes and comes back finds nothing from while it was away.
  gps->close();
  const std::string away = composeSentence("$GPTXT,away");
  for (int i = 0; i < 50; ++i) rig.send(away);
  const Bytes sent = Rig::readUntil(*tool, [](const Bytes&) { return false; }, 3);
  ASSERT_NE(std::string(sent.begin(), sent.end()).find(away), std::string::npos);  // gone past, to the tool
  gps = Rig::reader(rig.driver->nmeaPath());
  ASSERT_TRUE(gps);
  rig.waitUntilHeard(*gps);
  rig.send(away);
  const Bytes back = Rig::readUntil(*gps, [](const Bytes&) { return false; }, 3);
  EXPECT_EQ(std::string(back.begin(), back.end()), away);
}

TEST(PortDriver, ADebugReaderThatStopsReadingKeepsTheNewestBytesUpToTheLimit) {
  constexpr size_t kLimit = 65536;
  Rig rig(kLimit);
  auto tool = Rig::reader(rig.driver->debugPath());
  ASSERT_TRUE(tool);
  rig.waitUntilHeard(*tool);
  const Bytes in = noise(size_t{1} << 20, 3);
  rig.send(in);
  for (int i = 0; i < 500 && rig.driver->stats().fromReceiver < in.size(); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  const Bytes got = Rig::readUntil(*tool, [&](const Bytes& b) { return endsWith(b, {in.end() - 64, in.end()}); });
  EXPECT_TRUE(endsWith(got, {in.end() - 64, in.end()}));
  EXPECT_GT(rig.driver->stats().debugDropped, 0u);
  EXPECT_LE(rig.driver->stats().debugDropped, in.size() - kLimit);
}

TEST(PortDriver, EndsOnStopOrWhenTheReceiverHangsUp) {
  for (const bool unplug : {false, true}) {
    Rig rig;
    rig.send(noise(1000, 9));
    if (unplug)
      rig.line->hangUp();
    else
      rig.stop.cancel();
    ASSERT_EQ(rig.outcome.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    EXPECT_EQ(rig.outcome.get(), unplug ? PortDriver::Outcome::ReceiverGone : PortDriver::Outcome::Stopped);
  }
}
