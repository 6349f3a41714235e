// TtyPort on a real pseudo-terminal pair: time-outs, exclusive open, line
// settings, hang-up, cancellation and close.

#include <fcntl.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <future>

#include "platform/port_handle.h"
#include "platform/tty_port.h"
#include "platform/worker.h"
#include "tests/support/files.h"
#include "tests/support/scripted_port.h"
#include "tests/support/test_support.h"

namespace ferrolan {
namespace {

using Ms = std::chrono::milliseconds;

struct Pty {
  int master = -1;
  std::string slavePath;
  int slaveKeeper = -1;  // held open, as the simulator does
  Pty() {
    char name[128] = {};
    if (::openpty(&master, &slaveKeeper, name, nullptr, nullptr) == 0) slavePath = name;
  }
  ~Pty() {
    if (master >= 0) ::close(master);
    if (slaveKeeper >= 0) ::close(slaveKeeper);
  }
  void send(const std::string& s) const { ASSERT_EQ(::write(master, s.data(), s.size()), (ssize_t)s.size()); }
  std::string drain() const {
    std::string out;
    char buf[256];
    for (ssize_t n; (n = ::read(master, buf, sizeof buf)) > 0;) out.append(buf, static_cast<size_t>(n));
    return out;
  }
};

// Whether that thread of ours is asleep in the kernel: after its last
// step before a blocking read, it is then blocked in that read.
bool asleep(pid_t tid) {
  const std::string all = test::slurp("/proc/self/task/" + std::to_string(tid) + "/stat");
  const size_t paren = all.rfind(')');  // the name may hold blanks and brackets
  return paren != std::string::npos && paren + 2 < all.size() && all[paren + 2] == 'S';
}

long msSince(std::chrono::steady_clock::time_point t0) {
  return static_cast<long>(std::chrono::duration_cast<Ms>(std::chrono::steady_clock::now() - t0).count());
}

TEST(TtyPort, ReadsAByteAtOnceOrNothingAfterAboutASecond) {
  Pty pty;
  ASSERT_GE(pty.master, 0);
  auto port = TtyPort::open(pty.slavePath);
  ASSERT_TRUE(port);
  ASSERT_TRUE(port->setTimeouts(kReceiverTimeouts));
  LineSettings s;
  ASSERT_TRUE(port->getLineSettings(s));
  ASSERT_TRUE(port->setLineSettings(withReceiverLine(s, 9600)));

  pty.send("A");
  uint8_t b = 0;
  ASSERT_TRUE(port->readByte(b));
  EXPECT_EQ(b, 'A');

  const auto t0 = std::chrono::steady_clock::now();
  EXPECT_FALSE(port->readByte(b));
  EXPECT_GE(msSince(t0), 900);

  // Writes reach the other end whole.
  const std::string sentence = "$PKRV14,8*0E\r\n";
  ASSERT_TRUE(port->write(reinterpret_cast<const uint8_t*>(sentence.data()), sentence.size()));
  ::fcntl(pty.master, F_SETFL, O_NONBLOCK);
  std::string arrived;
  test::eventually([&] { return (arrived += pty.drain()).size() >= sentence.size(); });
  EXPECT_EQ(arrived, sentence);

  // A multi-byte read takes what arrives within its time-out.
  pty.send("0123456789");
  uint8_t buf[80];
  EXPECT_EQ(port->read(buf, sizeof buf), 10u);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(buf), 10), "0123456789");
}

TEST(TtyPort, OpenIsExclusiveUntilClosed) {
  Pty pty;
  auto first = TtyPort::open(pty.slavePath);
  ASSERT_TRUE(first);
  EXPECT_FALSE(TtyPort::open(pty.slavePath));
  first.reset();
  EXPECT_TRUE(TtyPort::open(pty.slavePath));
  EXPECT_FALSE(TtyPort::open("/nonexistent/ttyX"));
  EXPECT_FALSE(TtyPort::open("/dev/null"));  // not a terminal
}

TEST(TtyPort, AppliesTheReceiverLineSettings) {
  Pty pty;
  auto port = TtyPort::open(pty.slavePath);
  ASSERT_TRUE(port);
  LineSettings s;
  ASSERT_TRUE(port->getLineSettings(s));
  s.parityCheck = true;
  ASSERT_TRUE(port->setLineSettings(withReceiverLine(s, 115200)));
  termios tio{};
  ASSERT_EQ(::tcgetattr(pty.slaveKeeper, &tio), 0);
  EXPECT_EQ(::cfgetospeed(&tio), static_cast<speed_t>(B115200));
  EXPECT_EQ(tio.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
  EXPECT_EQ(tio.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
  EXPECT_EQ(tio.c_iflag & (IXON | IXOFF), 0u);
  EXPECT_EQ(tio.c_lflag & (ICANON | ECHO), 0u);
  LineSettings back;
  ASSERT_TRUE(port->getLineSettings(back));
  EXPECT_EQ(back.baud, 115200u);
  EXPECT_EQ(back.rts, RtsControl::Handshake);
  // Rates the line cannot take fail instead of changing anything.
  EXPECT_FALSE(port->setLineSettings(withReceiverLine(s, 0)));
  EXPECT_FALSE(port->setLineSettings(withReceiverLine(s, 12345)));
  ASSERT_EQ(::tcgetattr(pty.slaveKeeper, &tio), 0);
  EXPECT_EQ(::cfgetospeed(&tio), static_cast<speed_t>(B115200));
}

TEST(TtyPort, HungUpLineDeliversNothingWithoutSpinning) {
  auto pty = std::make_unique<Pty>();
  auto port = TtyPort::open(pty->slavePath);
  ASSERT_TRUE(port);
  port->setTimeouts(kReceiverTimeouts);
  pty.reset();  // both the master and the keeper go: the line hangs up
  uint8_t b;
  int reads = 0;
  const auto t0 = std::chrono::steady_clock::now();
  while (msSince(t0) < 2500) {
    EXPECT_FALSE(port->readByte(b));
    ++reads;
  }
  EXPECT_LE(reads, 4);  // each read waited out its time-out
}

TEST(TtyPort, CancelWakesABlockedReadAtOnce) {
  Pty pty;
  auto port = TtyPort::open(pty.slavePath);
  ASSERT_TRUE(port);
  port->setTimeouts({0xFFFFFFFFu, 0, 60000, 0, 1000});  // a minute per read
  Worker w;
  std::atomic<int> reads{0};
  std::atomic<pid_t> reader{0};
  w.start([&](WorkerControl& ctl) {
    reader = ::gettid();
    uint8_t b;
    while (ctl.checkpoint()) {
      port->readByteOrCancel(b, ctl.cancelToken());
      ++reads;
    }
  });
  ASSERT_TRUE(test::eventually([&] { return reader != 0 && asleep(reader); }));
  const auto t0 = std::chrono::steady_clock::now();
  w.stop();
  EXPECT_LT(msSince(t0), 30000);  // well short of the read's minute
  EXPECT_FALSE(w.running());
  EXPECT_EQ(reads, 1);
}

TEST(TtyPort, CloseEndsTheLineForEveryCopyAndFreesTheDevice) {
  Pty pty;
  PortHandle handle;
  handle.set(TtyPort::open(pty.slavePath));
  std::shared_ptr<Port> copy = handle.get();
  ASSERT_TRUE(copy);
  ASSERT_TRUE(copy->setTimeouts({0xFFFFFFFFu, 0, 60000, 0, 1000}));  // a minute per read
  std::promise<pid_t> started;
  std::future<bool> blockedRead = std::async(std::launch::async, [&] {
    started.set_value(::gettid());
    uint8_t b;
    return copy->readByte(b);
  });
  const pid_t reader = started.get_future().get();
  ASSERT_TRUE(test::eventually([&] { return asleep(reader); }));
  auto closing = std::async(std::launch::async, [&] { handle.reset(); });
  // A close that cannot wake the reader would wait out its minute: a byte
  // frees it instead, and its read succeeding fails the check below.
  if (closing.wait_for(std::chrono::seconds(10)) != std::future_status::ready) pty.send("!");
  closing.wait();
  auto again = TtyPort::open(pty.slavePath);  // the lock went with the close
  pty.send("Z");                               // for the new owner, not the old copy
  EXPECT_FALSE(blockedRead.get());

  uint8_t b = 0;
  LineSettings line;
  PortTimeouts t;
  const uint8_t x = 'x';
  const bool answers[] = {copy->readByte(b), copy->read(&b, 1) != 0, copy->write(&x, 1), copy->getTimeouts(t),
                          copy->setTimeouts(kReceiverTimeouts), copy->getLineSettings(line),
                          copy->setLineSettings(LineSettings{}), copy->purge(kPurgeRxClear)};
  for (size_t i = 0; i < std::size(answers); ++i) EXPECT_FALSE(answers[i]) << "call " << i;
  copy->close();  // twice is harmless

  ASSERT_TRUE(again);
  ASSERT_TRUE(again->setTimeouts(kReceiverTimeouts));
  ASSERT_TRUE(again->readByte(b));
  EXPECT_EQ(b, 'Z');
}

TEST(PortHandle, ClosesWhatItDropsButNotWhatItHandsOver) {
  VirtualClock clock{0};
  struct Case {
    const char* what;
    void (*act)(PortHandle&, const std::shared_ptr<Port>& held, const std::shared_ptr<Port>& other);
    bool closed;
  } cases[] = {
      {"reset", [](PortHandle& h, auto&, auto&) { h.reset(); }, true},
      {"set another", [](PortHandle& h, auto&, auto& other) { h.set(other); }, true},
      {"set empty", [](PortHandle& h, auto&, auto&) { h.set(nullptr); }, true},
      {"set the same", [](PortHandle& h, auto& held, auto&) { h.set(held); }, false},
      {"take", [](PortHandle& h, auto&, auto&) { EXPECT_TRUE(h.take()); }, false},
  };
  for (const Case& c : cases) {
    auto held = std::make_shared<ScriptedPort>(clock);
    auto other = std::make_shared<ScriptedPort>(clock);
    PortHandle h;
    h.set(held);
    c.act(h, held, other);
    EXPECT_EQ(held->closed(), c.closed) << c.what;
    EXPECT_FALSE(other->closed()) << c.what;
    PortTimeouts t;
    EXPECT_EQ(held->getTimeouts(t), !c.closed) << c.what;
  }
}

TEST(TtyPort, LineSettingsThatDoNotTakeEffectFail) {
  // Locked termios bits: the kernel keeps them and still answers success.
  struct Case {
    const char* what;
    tcflag_t lockedLocal, lockedControl;
    bool getOk;
  } cases[] = {{"stays cooked", ICANON, 0, false}, {"rate stays put", 0, CBAUD, true}};
  for (const Case& c : cases) {
    Pty pty;
    termios lock{};
    lock.c_lflag = c.lockedLocal;
    lock.c_cflag = c.lockedControl;
    if (::ioctl(pty.slaveKeeper, TIOCSLCKTRMIOS, &lock) != 0) GTEST_SKIP() << "locking termios needs CAP_SYS_ADMIN";
    auto port = TtyPort::open(pty.slavePath);
    ASSERT_TRUE(port) << c.what;
    LineSettings s;
    EXPECT_EQ(port->getLineSettings(s), c.getOk) << c.what;
    EXPECT_FALSE(port->setLineSettings(withReceiverLine(s, 115200))) << c.what;
    lock = termios{};
    ASSERT_EQ(::ioctl(pty.slaveKeeper, TIOCSLCKTRMIOS, &lock), 0);
    EXPECT_TRUE(port->setLineSettings(withReceiverLine(s, 115200))) << c.what;
    EXPECT_TRUE(port->getLineSettings(s)) << c.what;
  }
}

TEST(TtySpeed, MapsTheReceiverRates) {
  for (uint32_t baud : {4800u, 9600u, 19200u, 38400u, 57600u, 115200u}) EXPECT_NE(ttySpeedFor(baud), 0u) << baud;
  EXPECT_EQ(ttySpeedFor(0), 0u);
  EXPECT_EQ(ttySpeedFor(9601), 0u);
}

}  // namespace
}  // namespace ferrolan
