// The data path in a context: sentence dispatch and its store, the binary
// intake, the receive thread over a fed port, the display thread, and a
// connection to the simulated receiver.

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <mutex>

#include "app/wiring.h"
#include "datapath/receive_thread.h"
#include "datapath/sentence_dispatch.h"
#include "datapath/vbi_messages.h"
#include "link/serial_session.h"
#include "platform/process.h"
#include "tests/support/test_support.h"

namespace ferrolan {
namespace {

using test::eventually;
using test::ScriptedRig;
namespace ev = sentenceEvents;

std::vector<int> signalled(SentenceEvents& h) {
  std::vector<int> out;
  for (int i = 0; i < ev::kCount; ++i)
    if (h[static_cast<size_t>(i)]->tryConsume()) out.push_back(i);
  return out;
}

struct DispatchCase {
  const char* name;
  std::vector<std::string> lines;
  int restartPending;
  std::vector<int> events;
  int gsvTotal;
  std::map<StoreSlot, std::string> stored;  // the slots that are not empty
  int ttffRunning;
};

TEST(Dispatch, StoresAndSignalsByType) {
  const std::string gsv3[] = {"$GPGSV,3,1,10,01*70\n", "$GPGSV,3,2,10,02*70\n", "$GPGSV,3,3,10,03*70\n"};
  const std::string longGga = "$GPGGA," + std::string(200, '9');
  const DispatchCase cases[] = {
      {"GGA, GSA and RMC", {"$GPGGA,1\n", "$GPGSA,2\n", "$GPRMC,3\n", "$GPRMC,4\n"}, 0,
       {ev::kGpGga, ev::kGpGsa, ev::kGpRmc}, 0,
       {{StoreSlot::Gga, "$GPGGA,1\n"}, {StoreSlot::Gsa, "$GPGSA,2\n"}, {StoreSlot::Rmc, "$GPRMC,4\n"}}, 0},
      {"types shown nowhere", {"$GPGLL,1\n", "$GPAPB\n", "$GPVTG,1\n", "GPGGA,1\n", "$GPGG\n"}, 0, {}, 0, {}, 0},
      {"a GSV group fires once, at its last part", {gsv3[0], gsv3[1], gsv3[2]}, 0, {ev::kGpGsv}, 3,
       {{StoreSlot::Gsv1, gsv3[0]}, {StoreSlot::Gsv2, gsv3[1]}, {StoreSlot::Gsv3, gsv3[2]}}, 0},
      {"GSV parts 1 and 2 only", {gsv3[0], gsv3[1]}, 0, {}, 0, {{StoreSlot::Gsv1, gsv3[0]}, {StoreSlot::Gsv2, gsv3[1]}}, 0},
      {"a one-part group", {"$GPGSV,1,1,02\n"}, 0, {ev::kGpGsv}, 1, {{StoreSlot::Gsv1, "$GPGSV,1,1,02\n"}}, 0},
      {"a total of 10 is never complete", {"$GPGSV,10,10,30\n"}, 0, {}, 0, {}, 0},
      {"part 6 of 6 is complete but not stored", {"$GPGSV,6,6,24\n"}, 0, {ev::kGpGsv}, 6, {}, 0},
      {"a GSV line too short for its number", {"$GPGSV,1\n", "$GPGSV"}, 0, {}, 0, {}, 0},
      {"restart acknowledgement without a restart", {"$PKRV200,02*1F\n"}, 0, {}, 0, {}, 0},
      {"restart acknowledgement after a restart", {"$PKRV200,021\n"}, 1, {}, 0, {}, 1},
      {"an overlong line is cut to its slot", {longGga}, 0, {ev::kGpGga}, 0, {{StoreSlot::Gga, longGga.substr(0, 127)}}, 0},
  };
  for (const DispatchCase& c : cases) {
    SCOPED_TRACE(c.name);
    ScriptedRig rig;
    auto events = openSentenceEvents(rig.ctx);
    rig.ctx.session.restartPending = c.restartPending;
    rig.clock.advance(5000);
    for (const std::string& l : c.lines) dispatchSentence(rig.ctx, l);
    EXPECT_EQ(signalled(events), c.events);
    EXPECT_EQ(rig.ctx.dataPath.sentences.gsvTotal, c.gsvTotal);
    for (int s = 0; s < static_cast<int>(StoreSlot::Count); ++s) {
      const auto slot = static_cast<StoreSlot>(s);
      const auto it = c.stored.find(slot);
      EXPECT_EQ(rig.ctx.dataPath.sentences.read(slot).view(), it == c.stored.end() ? "" : it->second) << "slot " << s;
    }
    EXPECT_EQ(rig.ctx.dataPath.ttff.ttffRunning, c.ttffRunning);
    if (c.ttffRunning) { EXPECT_EQ(rig.ctx.dataPath.ttff.ttffStart, rig.clock.tickCount()); }
  }
}

VbiCopy frameWith(uint8_t id, uint8_t tag) {
  VbiCopy f{};
  f[0] = id;
  f[1] = 0x01;  // a high id byte: only byte 0 is compared
  f[100] = tag;
  return f;
}

TEST(BinaryIntake, KeepsMeasurementsAndRotatesSolutions) {
  ScriptedRig rig;
  auto events = openSentenceEvents(rig.ctx);
  VbiCopies& v = rig.ctx.dataPath.vbi;
  struct Row {
    uint8_t id, tag;
    int32_t length;
    std::vector<int> events;
    int selectorAfter;
  } rows[] = {{121, 1, 90, {ev::kSvSoluData}, 1}, {121, 2, 90, {ev::kSvSoluData}, 2},
              {122, 9, 90, {}, 2},                {121, 3, 90, {ev::kSvSoluData}, 0},
              {121, 4, 90, {ev::kSvSoluData}, 1}, {120, 7, 38 + 42 * 5, {ev::kSvMeasData}, 1}};
  for (const Row& r : rows) {
    const VbiCopy f = frameWith(r.id, r.tag);
    takeVbiFrame(rig.ctx, FrameView(f), r.length);
    EXPECT_EQ(signalled(events), r.events) << int(r.tag);
    EXPECT_EQ(v.pvtSelector(), r.selectorAfter) << int(r.tag);
  }
  // A, B, C got 1, 2, 3; the fourth went to A again.
  VbiCopy out;
  std::vector<int> tags;
  for (int copy = 0; copy < 3; ++copy) tags.push_back((v.solution(copy, out), out[100]));
  EXPECT_EQ(tags, (std::vector<int>{4, 2, 3}));
  v.selectedSolution(out);
  EXPECT_EQ(out[100], 2);  // the copy the next message overwrites
  EXPECT_EQ(v.measurement(out), 38 + 42 * 5);
  EXPECT_EQ(out[100], 7);
}

// A port that hands out a fixed byte stream, calling `before(i)` ahead of
// byte i, and ends the connection when the stream is spent, so the receive
// thread can run to its end on the test's own thread.
struct FeedPort final : Port {
  FeedPort(std::vector<uint8_t> bytes, std::atomic<bool>& connected) : bytes_(std::move(bytes)), connected_(connected) {}
  std::function<void(size_t)> before;
  bool hangUpAtEnd = false;  // the spent stream is a line that went away
  bool readByte(uint8_t& out) override {
    if (next_ >= bytes_.size()) {
      if (hangUpAtEnd)
        hung_ = true;
      else
        connected_ = false;
      return false;
    }
    if (before) before(next_);
    out = bytes_[next_++];
    return true;
  }
  size_t read(uint8_t* buf, size_t max) override { return max && readByte(*buf) ? 1 : 0; }
  bool write(const uint8_t*, size_t) override { return true; }
  bool getTimeouts(PortTimeouts&) override { return true; }
  bool setTimeouts(const PortTimeouts&) override { return true; }
  bool getLineSettings(LineSettings&) override { return true; }
  bool setLineSettings(const LineSettings&) override { return true; }
  bool purge(unsigned) override { return true; }
  void close() override { closed = true; }
  bool hungUp() const override { return hung_; }
  bool closed = false;
  bool hung_ = false;
  std::vector<uint8_t> bytes_;
  size_t next_ = 0;
  std::atomic<bool>& connected_;
};

// Records what the receive thread hands the raw log.
struct RecordingLog final : StreamLog {
  std::vector<std::string> lines;
  std::vector<uint8_t> bytes;
  bool writeLine(std::string_view l) override { return lines.emplace_back(l), true; }
  bool feedByte(uint8_t b) override { return bytes.push_back(b), true; }
  int fillPercent() override { return static_cast<int>(bytes.size()); }
  void lineLost() override { lost = true; }
  bool lost = false;
};

struct ReceiveRig : ScriptedRig {
  RecordingLog recording;
  std::shared_ptr<FeedPort> feed;
  SentenceEvents events;
  // Runs the receive thread over `stream` to its end; `tweak` readies the feed.
  // The events are opened after it: the thread opens them itself, so what
  // it signals before the display thread waits is kept, not lost.
  void run(const std::string& stream, ProtocolMode mode, const std::function<void(FeedPort&)>& tweak = {}) {
    feed = std::make_shared<FeedPort>(std::vector<uint8_t>(stream.begin(), stream.end()), ctx.session.connected);
    ctx.session.portHandle.set(feed);
    ctx.session.protocolMode = mode;
    ctx.session.connected = true;
    ctx.dataPath.streamLog = &recording;
    if (tweak) tweak(*feed);
    WorkerControl ctl;
    runReceiveThread(ctx, ctl);
    events = openSentenceEvents(ctx);
  }
};

struct ReceiveThread : ::testing::Test, ReceiveRig {};

TEST_F(ReceiveThread, TextModeShowsLogsAndDispatchesEachLine) {
  // Nothing before the first "$" shows anywhere.
  run("\xE9noise$GPGGA,1*11\r\n$GPGLL,\xE9*22\r\n$GPGSA,3*33\r\n$", ProtocolMode::Nmea);
  const std::vector<std::string> sent = {"$GPGGA,1*11\n", "$GPGLL,\xE9*22\n", "$GPGSA,3*33\n"};
  EXPECT_EQ(recording.lines, sent);
  // Newest first; Latin-1 shown as UTF-8.
  EXPECT_EQ(log(), (std::vector<std::string>{"$GPGSA,3*33\n", "$GPGLL,\xC3\xA9*22\n", "$GPGGA,1*11\n"}));
  EXPECT_EQ(ui.text(WindowId::TextPage, ids::kTextStatus), "Logging");
  EXPECT_EQ(signalled(events), (std::vector<int>{ev::kGpGga, ev::kGpGsa}));
  EXPECT_TRUE(recording.bytes.empty());
}

TEST_F(ReceiveThread, BinaryModeFeedsTheLogFramesTheIntakeAndNamesEachId) {
  std::string stream = "\x01\x81\xFF\x78";
  stream += std::string(50, '\x11') + "\x81\xFF\x79" + std::string(20, '\x22') + "\x81\xFF\x7A\x81\xFF\x03";
  run(stream, ProtocolMode::Vbi);
  EXPECT_EQ(recording.bytes, std::vector<uint8_t>(stream.begin(), stream.end()));
  EXPECT_EQ(log(), (std::vector<std::string>{"SV Measurements Data (120)", "PVT Solution Data (121)",
                                             "SV Visibility Data (122)"}));
  // Set at the last frame start, from the log's fill.
  EXPECT_EQ(ui.progress(WindowId::TextPage, ids::kTextProgress), static_cast<int>(stream.size()));
  EXPECT_EQ(signalled(events), (std::vector<int>{ev::kSvMeasData, ev::kSvSoluData}));
  VbiCopy out;
  EXPECT_EQ(ctx.dataPath.vbi.measurement(out), 48);
  EXPECT_EQ(out[0], 0x78);
}

TEST_F(ReceiveThread, ALineThatHangsUpEndsTheConnectionOnceKeepingTheLog) {
  // Returns: no spinning on the dead line.
  run("$GPGGA,1*11\r\n$", ProtocolMode::Nmea, [](FeedPort& f) { f.hangUpAtEnd = true; });
  EXPECT_EQ(recording.lines, std::vector<std::string>{"$GPGGA,1*11\n"});
  EXPECT_TRUE(recording.lost);
  EXPECT_TRUE(feed->closed);
  EXPECT_EQ(ctx.session.connected, 0);
  EXPECT_FALSE(ctx.session.portHandle.valid());
  EXPECT_EQ(lastLog(), kLineLostText);
  EXPECT_EQ(ui.text(WindowId::TextPage, ids::kTextPortLabel), "N/A");
}

TEST_F(ReceiveThread, ModeIsReadAfterEveryByte) {
  // NMEA, then an unknown mode drops bytes, then VBI.
  const std::string stream = "$GPGGA,1\r\n$GPGGA,2\r\n$\x81\xFF\x78\x81\xFF\x79";
  run(stream, ProtocolMode::Nmea, [&](FeedPort& f) {
    f.before = [&](size_t i) {
      if (i == 11) ctx.session.protocolMode = static_cast<ProtocolMode>(7);
      if (i == 21) ctx.session.protocolMode = ProtocolMode::Vbi;
    };
  });
  EXPECT_EQ(recording.lines, std::vector<std::string>{"$GPGGA,1\n"});
  EXPECT_EQ(recording.bytes, std::vector<uint8_t>(stream.begin() + 21, stream.end()));
  EXPECT_EQ(log(), (std::vector<std::string>{"$GPGGA,1\n", "SV Measurements Data (120)", "PVT Solution Data (121)"}));
}

TEST(DisplayThread, RunsTheRoutineOfEachFiredEventLowestIndexFirstAndTheBarrierLast) {
  ScriptedRig rig;
  std::mutex m;
  std::vector<int> ran;
  auto record = [&](int i) {
    std::lock_guard l(m);
    ran.push_back(i);
  };
  for (int i : {ev::kGpGsa, ev::kGpGsv, ev::kGpRmc, ev::kSvMeasData, ev::kSvSoluData})
    rig.ctx.dataPath.refresh[static_cast<size_t>(i)] = [&, i] { record(i); };
  // Signalled before the thread runs: served in wait order, GGA and APB by nothing.
  auto events = openSentenceEvents(rig.ctx);
  for (int i : {ev::kSvSoluData, ev::kGpRmc, ev::kGpApb, ev::kGpGsa, ev::kGpGga})
    events[static_cast<size_t>(i)]->set();
  Worker display;
  display.start([&](WorkerControl& ctl) { runDisplayThread(rig.ctx, ctl); });
  auto count = [&] {
    std::lock_guard l(m);
    return ran.size();
  };
  ASSERT_TRUE(eventually([&] { return count() == 3; }));
  // A barrier posted while a refresh runs waits for every event set until
  // it is served, one set after it too.
  rig.ctx.dataPath.refresh[ev::kGpGsv] = [&] {
    record(ev::kGpGsv);
    EXPECT_TRUE(rig.ctx.dataPath.barrier.post([&] { record(-1); }));
    events[ev::kGpRmc]->set();
  };
  dispatchSentence(rig.ctx, "$GPGSV,1,1,01\n");
  ASSERT_TRUE(eventually([&] { return count() == 6; }));
  display.stop();
  EXPECT_FALSE(display.running());
  EXPECT_FALSE(rig.ctx.dataPath.barrier.post([] {}));  // nobody left to run it
  EXPECT_EQ(ran, (std::vector<int>{ev::kGpGsa, ev::kGpRmc, ev::kSvSoluData, ev::kGpGsv, ev::kGpRmc, -1}));
}

TEST_F(ReceiveThread, ParksWhenSuspendedAndEndsOnStop) {
  registerDataPath(ctx);
  attach();
  ctx.session.connected = true;
  Worker rx;
  rx.start(ctx.session.receiveEntry);
  rx.suspend();
  // Held: the thread reads nothing of what arrives now.
  const size_t reads = port->readCalls();
  port->receive("$GPGGA,1\r\n$");
  EXPECT_EQ(port->readCalls(), reads);
  rx.resume();
  ASSERT_TRUE(eventually([&] { return !log().empty(); }));
  EXPECT_EQ(log().front(), "$GPGGA,1\n");
  rx.stop();
  EXPECT_FALSE(rx.running());
}

TEST(LiveReceiver, ConnectShowsTheSimulatorsSentences) {
  ChildProcess sim;
  ChildOptions o;
  o.stdinPipe = true;
  ASSERT_TRUE(sim.start({FERROLAN_SIM_PATH, "--exit-after", "60"}, o));
  std::string path;
  ASSERT_TRUE(sim.readLine(path, 10000));
  test::LiveRig rig;
  registerDataPath(rig.ctx);
  rig.ui.openWindow(WindowId::ComPortSetup);
  rig.ui.setText(WindowId::ComPortSetup, ids::kComPortBox, path);
  rig.ui.setText(WindowId::ComPortSetup, ids::kComBaudBox, "9600");
  ASSERT_TRUE(connectReceiver(rig.ctx));
  EXPECT_TRUE(eventually([&] {
    return std::ranges::any_of(rig.ctx.textLog.lines(), [](const std::string& l) { return l.starts_with("$GPRMC"); });
  }));
  EXPECT_TRUE(rig.ctx.dataPath.sentences.rmcText().view().starts_with("$GPRMC,"));
  for (const std::string& l : rig.ctx.textLog.lines()) EXPECT_EQ(l.back(), '\n') << l;
  disconnectReceiver(rig.ctx);
  EXPECT_FALSE(rig.ctx.session.receiveThread.get()->running());
  EXPECT_FALSE(rig.ctx.session.displayThread.get()->running());
}

}  // namespace
}  // namespace ferrolan
