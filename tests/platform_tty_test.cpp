// TtyPort on a real pseudo-terminal pair: time-outs, exclusive open, line
// settings, hang-up and cancellation.

#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include <gtest/gtest.h>

#include "platform/tty_port.h"
#include "platform/worker.h"

namespace ferrolan {
namespace {

using Ms = std::chrono::milliseconds;

struct Pty {
  int master = -1;
  std::string slavePath;
  int slaveKeeper = -1;  // held open, as the simulator does
  Pty() {
    int slave = -1;
    char name[128] = {};
    if (::openpty(&master, &slave, name, nullptr, nullptr) != 0) return;
    slavePath = name;
    slaveKeeper = slave;
  }
  ~Pty() {
    if (master >= 0) ::close(master);
    if (slaveKeeper >= 0) ::close(slaveKeeper);
  }
  void send(const std::string& s) const { ASSERT_EQ(::write(master, s.data(), s.size()), (ssize_t)s.size()); }
  std::string drain() const {
    std::string out;
    char buf[256];
    for (;;) {
      ssize_t n = ::read(master, buf, sizeof buf);
      if (n <= 0) break;
      out.append(buf, static_cast<size_t>(n));
    }
    return out;
  }
};

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
  std::this_thread::sleep_for(Ms(50));
  ::fcntl(pty.master, F_SETFL, O_NONBLOCK);
  EXPECT_EQ(pty.drain(), sentence);

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
  w.start([&](WorkerControl& ctl) {
    uint8_t b;
    while (ctl.checkpoint()) {
      port->readByteOrCancel(b, ctl.cancelToken());
      ++reads;
    }
  });
  std::this_thread::sleep_for(Ms(100));
  const auto t0 = std::chrono::steady_clock::now();
  w.stop();
  EXPECT_LT(msSince(t0), 30000);  // well short of the read's minute
  EXPECT_FALSE(w.running());
  EXPECT_EQ(reads, 1);
}

TEST(TtySpeed, MapsTheReceiverRates) {
  for (uint32_t baud : {4800u, 9600u, 19200u, 38400u, 57600u, 115200u}) EXPECT_NE(ttySpeedFor(baud), 0u) << baud;
  EXPECT_EQ(ttySpeedFor(0), 0u);
  EXPECT_EQ(ttySpeedFor(9601), 0u);
}

}  // namespace
}  // namespace ferrolan
