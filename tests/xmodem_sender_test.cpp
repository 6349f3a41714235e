#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "platform/process.h"
#include "tests/support/test_support.h"
#include "update/update_file.h"
#include "update/xmodem.h"

namespace ferrolan {
namespace {

using test::ScriptedRig;
using Bytes = std::vector<uint8_t>;
using namespace xmodem;

const std::string kAckByte(1, kAck), kNakByte(1, kNak);

// A receiver scripted on the write hook: it answers NAKs at the start,
// judges every block it is sent, and answers as its policy says.
struct ScriptedReceiver {
  // Answer to the k-th copy (0-based) of block number `index` (0-based).
  std::function<std::string(size_t index, int copy)> answer = [](size_t, int) { return kAckByte; };
  std::function<std::string(int eot)> eotAnswer = [](int) { return kAckByte; };
  std::vector<Bytes> frames;  // every frame written, in order
  Bytes received;             // data of distinct accepted blocks
  int eots = 0, copies = 0;
  size_t accepted = 0;

  void attach(ScriptedPort& port) {
    port.onWrite([this](ScriptedPort& p, const ScriptedPort::Bytes& w) {
      if (w.size() == 1 && w[0] == kEot) return p.receive(eotAnswer(eots++), 5);
      frames.push_back(w);
      if (frames.size() == 1 || frames[frames.size() - 2] != w) copies = 0;
      const std::string a = answer(accepted, copies++);
      if (a == kAckByte) {
        received.insert(received.end(), w.begin() + 3, w.end() - 1);
        ++accepted;
      }
      p.receive(a, 5);
    });
  }
};

testing::AssertionResult within(uint32_t spentMs, uint32_t lo, uint32_t hi) {
  if (spentMs >= lo && spentMs < hi) return testing::AssertionSuccess();
  return testing::AssertionFailure() << spentMs << " ms, not in [" << lo << ", " << hi << ")";
}

Bytes pattern(size_t n) {
  Bytes b(n);
  for (size_t i = 0; i < n; ++i) b[i] = static_cast<uint8_t>((i * 7 + i / 251) & 0xFF);
  return b;
}

// Serves `good` bytes, then the stream breaks.
class BreakingStream : public std::istream {
  struct Buf : std::streambuf {
    std::string data;
    explicit Buf(size_t good) : data(good, 'a') { setg(data.data(), data.data(), data.data() + data.size()); }
    int_type underflow() override { throw std::ios_base::failure("device gone"); }
  } buf_;

 public:
  explicit BreakingStream(size_t good) : std::istream(nullptr), buf_(good) { rdbuf(&buf_); }
};

using Controls = std::vector<std::pair<int, ControlState>>;
const Controls kTextControls{{ids::kTextLog, {}}, {ids::kTextProgress, {}}};
const Controls kLoaderControls{{ids::kUpdStatus, {}}, {ids::kUpdProgress, {}}};

// An attached port answered by a scripted receiver, with one window open.
struct Line {
  ScriptedRig rig;
  ScriptedReceiver rx;
  explicit Line(WindowId w = WindowId::TextPage, const Controls& controls = kTextControls) {
    rig.ui.openWindow(w, controls);
    rig.attach();
    rx.attach(*rig.port);
  }
  void nakBurst() { rig.port->receive(std::string(3, kNak)); }
  void useFile(const Bytes& b) {
    auto in = std::make_unique<std::istringstream>(std::string(b.begin(), b.end()));
    rig.ctx.update.updateFile.set(std::make_shared<UpdateFile>(std::move(in), b.size()));
  }
  void ready(const Bytes& file) {
    useFile(file);
    nakBurst();
  }
  // Virtual milliseconds that `f` takes.
  uint32_t ticksOf(const std::function<void()>& f) {
    const uint32_t t0 = rig.clock.tickCount();
    return f(), rig.clock.tickCount() - t0;
  }
  bool send() { return xmodemSendFile(rig.ctx); }
  bool sendLoader(ReceiverGeneration g) { return xmodemSendLoader(rig.ctx, g); }
  std::string status() const { return rig.ui.text(WindowId::UpdateFirmware, ids::kUpdStatus); }
  int progress(WindowId w = WindowId::TextPage) const {
    return rig.ui.progress(w, w == WindowId::TextPage ? ids::kTextProgress : ids::kUpdProgress);
  }
};

struct XmodemFile : ::testing::Test, Line {};

void expectFrame(const Bytes& f, uint8_t number, Bytes data) {
  ASSERT_EQ(f.size(), 1028u);
  EXPECT_EQ(Bytes(f.begin(), f.begin() + 3), (Bytes{kStx, number, static_cast<uint8_t>(255 - number)}));
  uint8_t sum = 0;
  for (uint8_t b : data) sum = static_cast<uint8_t>(sum + b);
  data.resize(1024, 0x00);
  EXPECT_EQ(Bytes(f.begin() + 3, f.begin() + 1027), data);
  EXPECT_EQ(f[1027], sum);
}

TEST_F(XmodemFile, SendsBlocksWithZeroFillThenEotAndSetsProgressBeforeEachBlock) {
  std::vector<std::string> events;  // progress positions and writes, in order
  rig.ui.addListener([&](const UiChange& c) {
    if (c.kind == UiChangeKind::Progress) events.push_back("P" + std::to_string(c.value));
  });
  const Bytes data = pattern(2500);
  ready(data);
  rig.port->onWrite([&](ScriptedPort& p, const ScriptedPort::Bytes& w) {
    events.push_back(w.size() == 1 ? "EOT" : "B" + std::to_string(w[1]));
    p.receive(kAckByte, 5);
    rx.frames.push_back(w);
  });
  EXPECT_TRUE(send());
  EXPECT_EQ(events, (std::vector<std::string>{"P40", "B1", "P81", "B2", "P100", "B3", "P100", "EOT"}));
  ASSERT_EQ(rx.frames.size(), 4u);
  expectFrame(rx.frames[0], 1, Bytes(data.begin(), data.begin() + 1024));
  expectFrame(rx.frames[2], 3, Bytes(data.begin() + 2048, data.end()));
  EXPECT_EQ(rig.log(), (std::vector<std::string>{"Wait Xmodem NAK..", "Updating.. Please Wait ..."}));
}

TEST_F(XmodemFile, WholeBlockFileHasNoEmptyBlockAndNumbersWrapAfter255) {
  const Bytes data = pattern(258 * 1024);
  ready(data);
  EXPECT_TRUE(send());
  ASSERT_EQ(rx.frames.size(), 258u);
  EXPECT_EQ(rx.eots, 1);
  EXPECT_EQ(rx.received, data);
  EXPECT_EQ(rx.frames[254][1], 255);
  expectFrame(rx.frames[255], 0, Bytes(data.begin() + 255 * 1024, data.begin() + 256 * 1024));
  EXPECT_EQ(rx.frames[256][1], 1);
  EXPECT_EQ(rx.frames[257][1], 2);
  EXPECT_EQ(progress(), 100);
}

TEST_F(XmodemFile, AckOnlyForTheThirdCopyIsAcceptedAndCopiesAreIdentical) {
  Bytes data = pattern(1500);
  ready(data);
  rx.answer = [](size_t, int copy) { return copy == 2 ? kAckByte : kNakByte; };
  EXPECT_TRUE(send());
  ASSERT_EQ(rx.frames.size(), 6u);
  EXPECT_EQ(rx.frames[0], rx.frames[2]);
  EXPECT_EQ(rx.frames[3], rx.frames[5]);
  EXPECT_EQ(rx.frames[3][1], 2);
  data.resize(2048, 0);
  EXPECT_EQ(rx.received, data);
}

TEST_F(XmodemFile, ReceiverThatNeverAcksEndsAfterThreeSendsWhateverItAnswers) {
  for (std::string reply : {kNakByte, std::string("\x00\xFF garbage", 10), std::string()}) {
    SCOPED_TRACE(testing::PrintToString(reply));
    Line l;
    l.rx.answer = [reply](size_t i, int) { return i < 2 ? kAckByte : reply; };
    l.ready(pattern(5000));
    EXPECT_TRUE(within(l.ticksOf([&] { EXPECT_FALSE(l.send()); }), 3u * 16000u, 3u * 17100u));
    EXPECT_EQ(l.rx.frames.size(), 5u);  // two good blocks, then three copies
    EXPECT_EQ(l.rig.lastLog(), "No Xmodem ACK received.. ");
    EXPECT_EQ(l.rx.eots, 0);
  }
}

TEST_F(XmodemFile, SilentReceiverGetsThreeNakWaitsEachWithLineResetPauseAndPurge) {
  useFile(pattern(100));
  rig.port->setLineSettings(withReceiverLine(LineSettings{}, 9600));
  const uint32_t spent = ticksOf([&] { EXPECT_FALSE(send()); });
  EXPECT_TRUE(within(spent, 3u * (11000u + 2000u) + 500u, 3u * (12100u + 2000u) + 500u));
  EXPECT_EQ(rig.log(), (std::vector<std::string>{"Wait Xmodem NAK..", "Waiting NAK ..", "Waiting NAK ..",
                                                 "Waiting NAK ..", "No Xmodem NAK received.."}));
  EXPECT_EQ(rig.port->lineSettings(), withReceiverLine(LineSettings{}, 115200));
  EXPECT_EQ(rig.port->purges(), std::vector<unsigned>(3, kPurgeTxClear | kPurgeRxClear));
  EXPECT_TRUE(rig.port->writeCalls().empty());
}

TEST_F(XmodemFile, NakCountSurvivesSilenceButNotOtherBytesAcrossTheRetry) {
  useFile(pattern(10));
  // Two NAKs, a stray byte, then two NAKs: no burst in the first wait. After
  // the re-setting, a burst with a second of silence inside it.
  rig.port->receive(std::string{kNak, kNak, 'C', kNak, kNak});
  rig.port->receive(kNakByte, 14000);
  rig.port->receive(kNakByte, 1500);
  rig.port->receive(kNakByte, 1500);
  EXPECT_TRUE(send());
  const auto log = rig.log();
  EXPECT_EQ(std::count(log.begin(), log.end(), "Waiting NAK .."), 1);
  EXPECT_EQ(rx.frames.size(), 1u);
}

TEST_F(XmodemFile, LineFailuresDuringTheNakRetryEndTheTransfer) {
  for (const bool get : {true, false}) {
    Line l;
    l.useFile(pattern(10));
    get ? l.rig.port->failGetLine() : l.rig.port->failSetLine();
    EXPECT_FALSE(l.send());
    EXPECT_EQ(l.rig.lastLog(), get ? "GetCommState Failed." : "SetCommState Failed ");
  }
}

TEST_F(XmodemFile, HangUpAndWriteFailuresMidTransferAreReported) {
  ready(pattern(4000));
  rx.answer = [this](size_t i, int) {
    if (i == 1) rig.port->hangUp();
    return kAckByte;
  };
  EXPECT_FALSE(send());
  EXPECT_EQ(rig.lastLog(), "Write COM Port failed.. ");
  EXPECT_EQ(rx.frames.size(), 2u);
}

// An EOT goes twice at most: nothing is logged after "Updating" once the second is acknowledged.
TEST_F(XmodemFile, EotIsTriedTwice) {
  for (const bool ackSecond : {true, false}) {
    SCOPED_TRACE(ackSecond ? "second EOT acknowledged" : "silent");
    Line l;
    l.rx.eotAnswer = [ackSecond](int n) { return !ackSecond ? std::string() : n == 1 ? kAckByte : "?"; };
    l.ready(pattern(10));
    EXPECT_EQ(l.send(), ackSecond);
    EXPECT_EQ(l.rx.eots, 2);
    if (ackSecond)
      EXPECT_EQ(l.rig.log(), (std::vector<std::string>{"Wait Xmodem NAK..", "Updating.. Please Wait ..."}));
    else
      EXPECT_EQ(l.rig.lastLog(), "No Xmodem ACK received.. ");
  }
}

TEST_F(XmodemFile, TinyAndEmptyFilesNeverDivideByZero) {
  for (const size_t size : {50u, 0u}) {
    SCOPED_TRACE(size);
    Line l;
    l.ready(pattern(size));
    EXPECT_TRUE(l.send());
    EXPECT_EQ(l.rx.frames.size(), size == 0 ? 0u : 1u);
    EXPECT_EQ(l.rx.eots, 1);
    EXPECT_EQ(l.progress(), 100);
  }
}

TEST_F(XmodemFile, MissingPortFileOrProgressBarAndBrokenReads) {
  rig.ctx.update.updateFile.reset();
  nakBurst();
  EXPECT_FALSE(send());
  EXPECT_EQ(rig.lastLog(), "Update file not opened.. ");
  EXPECT_TRUE(rig.port->writeCalls().empty());

  // A file that breaks after its first block fails; no EOT pretends it was all sent.
  rig.ctx.update.updateFile.set(std::make_shared<UpdateFile>(std::make_unique<BreakingStream>(1024), 3000));
  EXPECT_FALSE(send());
  EXPECT_EQ(rig.lastLog(), "Read File failed.. ");
  EXPECT_EQ(rx.frames.size(), 1u);
  EXPECT_EQ(rx.eots, 0);

  ScriptedRig closed;
  closed.ui.openWindow(WindowId::TextPage);  // without its template's controls
  EXPECT_FALSE(xmodemSendFile(closed.ctx));
  EXPECT_EQ(closed.log(), (std::vector<std::string>{"Can't get Progress HWND", "COM Port not opened.."}));

  Line bare(WindowId::TextPage, {});  // Text page open, but its template has no progress bar
  bare.ready(pattern(2000));
  EXPECT_TRUE(bare.send());
  EXPECT_EQ(bare.rig.log().front(), "Can't get Progress HWND");
  EXPECT_FALSE(bare.rig.ui.hasControl(WindowId::TextPage, ids::kTextProgress));
  EXPECT_EQ(bare.rx.accepted, 2u);
}

// A file that changes on disk while it is sent must not pass for sent: it is
// sent only up to the size that was checked, and then found out.
TEST_F(XmodemFile, FileThatChangesWhileSentFailsAsAReadFailure) {
  namespace fs = std::filesystem;
  const struct {
    const char* what;
    std::function<void(const fs::path&)> change;
  } cases[] = {
      {"truncated", [](const fs::path& p) { fs::resize_file(p, 2500); }},
      {"appended",
       [](const fs::path& p) { std::ofstream(p, std::ios::binary | std::ios::app) << std::string(3000, 'x'); }},
      {"rewritten in place",
       [](const fs::path& p) {
         std::fstream(p, std::ios::binary | std::ios::in | std::ios::out) << "changed";
         fs::last_write_time(p, fs::last_write_time(p) + std::chrono::seconds(1));
       }},
  };
  const std::string dir = makeTempDir("ferrolan-xmodem-");
  ASSERT_FALSE(dir.empty());
  const fs::path path = fs::path(dir) / "fw.bin";
  const Bytes original = pattern(5000);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(original.data()), 5000);
    Line l;
    l.rx.answer = [&](size_t index, int) {
      if (index == 1) c.change(path);  // mid-transfer, as the receiver takes block 2
      return kAckByte;
    };
    l.rig.ctx.update.updateFile.set(UpdateFile::open(path.string()));
    l.nakBurst();
    EXPECT_FALSE(l.send());
    EXPECT_EQ(l.rig.lastLog(), "Read File failed.. ");
    EXPECT_EQ(l.rx.eots, 0);
    EXPECT_LE(l.rx.received.size(), 5120u);
  }
  removeTree(dir);
}

TEST(XmodemWaits, NakRunCountsOnlyReceivedBytes) {
  ScriptedRig rig;
  rig.attach();
  rig.port->receive(std::string{kNak, 'x'});
  for (uint32_t delay : {0u, 1000u, 1000u}) rig.port->receive(kNakByte, delay);
  rig.port->receive("after");
  EXPECT_TRUE(waitForNak(*rig.port, rig.clock));
  EXPECT_EQ(rig.port->pendingBytes(), 5u);

  rig.port->receive(std::string{kNak, kNak, kAck, kNak, kNak});
  const uint32_t t0 = rig.clock.tickCount();
  rig.port->purge(kPurgeRxClear);
  EXPECT_FALSE(waitForNak(*rig.port, rig.clock));
  EXPECT_TRUE(within(rig.clock.tickCount() - t0, 11000u, 12100u));

  rig.port->receive(std::string("garbage\x15\x15", 9));
  rig.port->receive(kAckByte, 15000);
  EXPECT_TRUE(waitForAck(*rig.port, rig.clock));
  rig.port->receive(kAckByte, 17200);  // past the last read's time-out
  const uint32_t t1 = rig.clock.tickCount();
  EXPECT_FALSE(waitForAck(*rig.port, rig.clock));
  EXPECT_EQ(rig.port->pendingBytes(), 1u);
  EXPECT_TRUE(within(rig.clock.tickCount() - t1, 16000u, 17100u));
}

struct XmodemLoader : ::testing::TestWithParam<ReceiverGeneration>, Line {
  XmodemLoader() : Line(WindowId::UpdateFirmware, kLoaderControls) { nakBurst(); }
};

TEST_P(XmodemLoader, SendsTheImageIn128ByteBlocksWithSubFill) {
  const bool pi = GetParam() == ReceiverGeneration::PI;
  const auto image = loaderImage(GetParam());
  const size_t blocks = pi ? 22 : 28;
  const long lastData = pi ? 32 : 120;
  EXPECT_TRUE(sendLoader(GetParam()));
  ASSERT_EQ(rx.frames.size(), blocks);
  for (size_t i = 0; i < blocks; ++i) {
    const Bytes& f = rx.frames[i];
    ASSERT_EQ(f.size(), 132u);
    EXPECT_EQ(Bytes(f.begin(), f.begin() + 3), (Bytes{kSoh, uint8_t(i + 1), uint8_t(254 - i)}));
    EXPECT_EQ(f[131], xmodemChecksum(std::span<const uint8_t>(f.data() + 3, 128))) << "fill counts in the sum";
  }
  const Bytes& last = rx.frames.back();
  EXPECT_EQ(Bytes(last.begin() + 3, last.begin() + 3 + lastData), Bytes(image.end() - lastData, image.end()));
  EXPECT_TRUE(std::all_of(last.begin() + 3 + lastData, last.end() - 1, [](uint8_t b) { return b == kSub; }));
  Bytes sent = rx.received;
  sent.resize(image.size());
  EXPECT_EQ(sent, Bytes(image.begin(), image.end()));
  EXPECT_EQ(rx.eots, 1);
  EXPECT_EQ(rig.log(), std::vector<std::string>{"spFlash =" + std::to_string(image.size()) + " Bytes"});
  EXPECT_EQ(progress(WindowId::UpdateFirmware), pi ? 100 : 102);
  EXPECT_EQ(status(), "");
}

INSTANTIATE_TEST_SUITE_P(Generations, XmodemLoader, ::testing::Values(ReceiverGeneration::PI, ReceiverGeneration::PII));

TEST_F(XmodemFile, LoaderFailuresShowTheirStatusTexts) {
  rig.ui.openWindow(WindowId::UpdateFirmware, kLoaderControls);
  // One wait for NAK, no re-setting of the line.
  EXPECT_TRUE(within(ticksOf([&] { EXPECT_FALSE(sendLoader(ReceiverGeneration::PI)); }), 0, 12100u + 500u));
  EXPECT_EQ(status(), "No NAK Xmodem received..");
  EXPECT_TRUE(rig.port->purges().empty());

  nakBurst();
  rx.answer = [](size_t, int) { return std::string(); };
  rig.port->failWritesAfter(132);
  EXPECT_FALSE(sendLoader(ReceiverGeneration::PI));
  EXPECT_EQ(status(), "Write COM Port failed..  ");

  Line r(WindowId::UpdateFirmware, {{ids::kUpdStatus, {}}});
  r.rig.port->failWritesAfter(0);
  r.nakBurst();
  EXPECT_FALSE(r.sendLoader(ReceiverGeneration::PII));
  EXPECT_EQ(r.status(), "Write COM Port failed.. ");

  Line e(WindowId::UpdateFirmware, kLoaderControls);
  e.rx.eotAnswer = [](int) { return std::string(); };
  e.nakBurst();
  EXPECT_FALSE(e.sendLoader(ReceiverGeneration::PI));
  EXPECT_EQ(e.rx.eots, 3);
  EXPECT_EQ(e.status(), "No Xmodem ACK received.. ");

  Line n(WindowId::UpdateFirmware, kLoaderControls);  // a block never acknowledged
  n.rx.answer = [](size_t i, int) { return i == 3 ? kNakByte : kAckByte; };
  n.nakBurst();
  EXPECT_FALSE(n.sendLoader(ReceiverGeneration::PII));
  EXPECT_EQ(n.rx.frames.size(), 6u);
  EXPECT_EQ(n.status(), "No Xmodem ACK received.. ");
}

TEST_F(XmodemFile, LoaderWithoutItsDialogStillSends) {
  nakBurst();
  EXPECT_TRUE(sendLoader(ReceiverGeneration::PI));
  EXPECT_EQ(rx.frames.size(), 22u);
  EXPECT_FALSE(rig.ui.isOpen(WindowId::UpdateFirmware));

  Line r(WindowId::UpdateFirmware, {{ids::kUpdStatus, {}}});  // no progress bar in the template
  r.nakBurst();
  EXPECT_TRUE(r.sendLoader(ReceiverGeneration::PI));
  EXPECT_EQ(r.status(), "Can't get Progress HWND");
  EXPECT_FALSE(r.rig.ui.hasControl(WindowId::UpdateFirmware, ids::kUpdProgress));
}

}  // namespace
}  // namespace ferrolan
