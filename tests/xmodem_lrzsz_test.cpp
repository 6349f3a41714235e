// The file sender against lrzsz's rx, a receiver nobody here wrote, over
// real pseudo-terminals.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "app/context.h"
#include "link/serial_session.h"
#include "platform/tty_port.h"
#include "update/update_file.h"
#include "update/xmodem.h"
#include "tests/support/test_support.h"
#include "tests/support/xmodem_relay.h"
#include "tests/support/files.h"
#include "tests/support/peers.h"

namespace ferrolan {
using test::readBytes;
namespace {

namespace fs = std::filesystem;

TEST(XmodemLrzsz, RxReceivesTheFileWithTheZeroFillOfItsLastBlock) {
  FERROLAN_REQUIRE_PEER(fs::exists("/usr/bin/rx"), "lrzsz (rx)");
  const fs::path dir = fs::temp_directory_path() / ("ferrolan-rx-" + std::to_string(::getpid()));
  fs::create_directories(dir);
  std::vector<uint8_t> data(20 * 1024 + 333);
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>((i * 131 + (i >> 9)) & 0xFF);
  data[100] = 0x18;  // CAN and the control bytes are plain data in a block
  data[101] = 0x04;
  const fs::path source = dir / "firmware.bin";
  std::ofstream(source, std::ios::binary).write(reinterpret_cast<const char*>(data.data()), static_cast<long>(data.size()));

  test::Pty sender, receiver;
  ASSERT_TRUE(test::openPty(sender));
  ASSERT_TRUE(test::openPty(receiver));
  test::LineRelay relay(sender.master, receiver.master, {});
  ChildProcess rx;
  ASSERT_TRUE(test::startOnTty(rx, {"rx", "-X", "-b", "-y", "received.bin"}, receiver.slavePath, dir.string(),
                               (dir / "rx.err").string()));

  test::LiveRig rig(dir.string());
  Context& ctx = rig.ctx;
  ASSERT_TRUE(openPort(ctx, sender.slavePath, 115200));
  ctx.update.updateFile.set(UpdateFile::open(source.string()));
  ASSERT_TRUE(ctx.update.updateFile.valid());

  const bool sent = xmodemSendFile(ctx);
  const bool finished = rx.wait(30000);
  rx.stop(0);
  relay.stop();

  ASSERT_TRUE(finished) << "rx did not finish";
  EXPECT_EQ(rx.exitCode(), 0) << "rx signal " << rx.termSignal();
  std::vector<uint8_t> expected = data;
  expected.resize(21 * 1024, 0x00);
  EXPECT_EQ(readBytes(dir / "received.bin"), expected);
  // rx flushes its line on exit and often loses its own last ACK; judge the
  // sender's answer only when that ACK reached it.
  if (relay.eotAcked()) {
    EXPECT_TRUE(sent);
  }
  EXPECT_EQ(rig.ui.progress(WindowId::TextPage, ids::kTextProgress), 100);
  ctx.session.portHandle.reset();
  fs::remove_all(dir);
}

}  // namespace
}  // namespace ferrolan
