// The unattended update against a scripted receiver on the virtual clock:
// which path, which file, which bytes, which texts.

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "platform/process.h"
#include "tests/support/test_support.h"
#include "update/auto_update.h"

namespace ferrolan {
namespace {

namespace fs = std::filesystem;
using Bytes = ScriptedPort::Bytes;
using Lines = std::vector<std::string>;
const std::string kPowerOff = "Power Off Device And Try Again!";

// Plays a receiver: answers the version query and the update command, asks
// for XMODEM data with a NAK burst and acknowledges every block.
struct FakeReceiver {
  int version = 3;          // 0: never answers the query
  bool acceptUpdate = true;
  bool kernelZ = false;     // a flash kernel: "Z" bytes at zAt, a menu, an upload
  uint32_t zAt = 0;
  std::string seen;         // everything the program wrote
  Bytes received;           // payload of the XMODEM blocks
  Bytes keys;               // single bytes sent to the kernel
  size_t scanned = 0;

  void attach(ScriptedPort& port) {
    port.onWrite([this](ScriptedPort& p, const Bytes& call) { onWrite(p, call); });
    if (kernelZ) port.receiveAt(zAt, "Z..Z.Z");
  }
  void onWrite(ScriptedPort& p, const Bytes& call) {
    // The kernel's menu: text enough for the program's reads, then the upload.
    if (kernelZ && call.size() == 1) {
      keys.push_back(call[0]);
      if (keys.size() == 1) p.receive(std::string(440, 'm'));
      if (call[0] == '1') p.receive(std::string(30, 'f'));
      if (call[0] == 'y') {
        p.receive(std::string(20, 'y'));
        p.receive("\x15\x15\x15", 500);
      }
    }
    // Every block and the end of the transmission are acknowledged.
    const bool block = call.size() == 1028 && call[0] == 0x02;
    if (block) received.insert(received.end(), call.begin() + 3, call.begin() + 1027);
    if (block || (call.size() == 1 && call[0] == 0x04)) {
      p.receive("\x06");
      return;
    }
    seen.append(call.begin(), call.end());
    // React once to each sentence, on its first (byte by byte) copy.
    for (;;) {
      const size_t at = seen.find("$PKRV", scanned);
      const size_t end = at == std::string::npos ? at : seen.find("\r\n", at);
      if (end == std::string::npos) return;
      const std::string s = seen.substr(at, end - at);
      scanned = end + 2 + 23;  // skip the second copy
      if (s.rfind("$PKRV14,8", 0) == 0 && version != 0) {
        p.receive("$PKRV200,14*04\r\n$PKRV100,SIM,PII," + std::to_string(version) + ",17,1*00\r\n" +
                  std::string(200, ' '));
      } else if (s.rfind("$PKRV11,1,0,6,2,0", 0) == 0 && acceptUpdate) {
        p.receive("$PKRV200,11*01\r\n");
        p.receive("\x15\x15\x15", 8000);  // the kernel asks once the line is re-rated
      }
    }
  }
};

struct AutoUpdateTest : ::testing::Test, test::ScriptedRig {
  fs::path root;
  std::unique_ptr<Context> c;
  FakeReceiver rx;

  void SetUp() override {
    root = makeTempDir("ferrolan-au-");
    c = std::make_unique<Context>(clock, opener, ui, root.string(), "");
    c->autoUpdate.autoUpdateFileName.set("FW_P1.bin");
    c->autoUpdate.autoUpdateFileNameP2.set("FW_P2.bin");
    c->session.portName.set("COM2:");
    c->session.baudText.set("9600");
  }
  void TearDown() override { removeTree(root.string()); }
  std::string firmware(const std::string& name, size_t size) {
    fs::create_directories(root / "SDMMC");
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 7 + name.size()) & 0xFF);
    std::ofstream(root / "SDMMC" / name, std::ios::binary) << bytes;
    return bytes;
  }
  // The next port the program opens, answered by `r` if given.
  std::shared_ptr<ScriptedPort> addPort(FakeReceiver* r = nullptr) {
    auto p = std::make_shared<ScriptedPort>(clock);
    opener.add("COM2:", p);
    if (r) r->attach(*p);
    return p;
  }
  Lines lines() const { return c->textLog.lines(); }
  // The last n lines of the log (all of them if there are fewer).
  Lines lastLines(size_t n) const {
    const auto l = lines();
    return {l.end() - static_cast<long>(std::min(n, l.size())), l.end()};
  }
  std::string status() const { return ui.text(WindowId::TextPage, ids::kTextStatus); }
  // The received image is the file followed by the zero fill of its last block.
  void expectReceived(const std::string& file) {
    ASSERT_EQ(rx.received.size(), (file.size() + 1023) / 1024 * 1024);
    EXPECT_TRUE(std::equal(file.begin(), file.end(), rx.received.begin(),
                           [](char a, uint8_t b) { return static_cast<uint8_t>(a) == b; }));
    EXPECT_TRUE(std::all_of(rx.received.begin() + static_cast<long>(file.size()), rx.received.end(),
                            [](uint8_t b) { return b == 0; }));
  }
};

TEST_F(AutoUpdateTest, KnownVersionsTakeTheCommandPathWithTheirFile) {
  for (int version : {2, 3, 5}) {
    SCOPED_TRACE(version);
    rx = FakeReceiver{};
    rx.version = version;
    const std::string p1 = firmware("FW_P1.bin", 481280);
    const std::string p2 = firmware("FW_P2.bin", 491520);
    auto port = addPort(&rx);
    c->textLog.reset();
    AutoUpdateThread(*c);
    const std::string name = version == 5 ? "FW_P2.bin" : "FW_P1.bin";
    EXPECT_EQ(lines(), (Lines{"Current FW:" + std::to_string(version) + ".17", "Erasing Flash, Please Wait...",
                              "Updating \\" + name + " Please Wait...", "Wait Xmodem NAK..",
                              "Updating.. Please Wait ...", "Update Successfully!  ",
                              "Please Reset Device To Make It Effect!  "}));
    EXPECT_EQ(status(), "OK");
    expectReceived(version == 5 ? p2 : p1);
    EXPECT_EQ(port->lineSettings().baud, 115200u);
    // Port and file are closed after a completed attempt.
    EXPECT_FALSE(c->session.portHandle.valid());
    EXPECT_FALSE(c->update.updateFile.valid());
  }
}

TEST_F(AutoUpdateTest, SizeWindowIsInclusiveAtBothEnds) {
  struct Case {
    size_t size;
    bool sent;
  } cases[] = {{481279, false}, {481280, true}, {491520, true}, {491521, false}};
  for (const auto& k : cases) {
    SCOPED_TRACE(k.size);
    rx = FakeReceiver{};
    firmware("FW_P1.bin", k.size);
    addPort(&rx);
    ui.setText(WindowId::TextPage, ids::kTextStatus, "");
    AutoUpdateThread(*c);
    EXPECT_EQ(!rx.received.empty(), k.sent);
    if (!k.sent) {
      EXPECT_EQ(lines().back(), "File size incorrect. ");
      EXPECT_EQ(status(), "");
      // No update command goes out for a file that will not be sent.
      EXPECT_EQ(rx.seen.find("$PKRV11"), std::string::npos);
    }
    EXPECT_FALSE(c->session.portHandle.valid());
  }
}

TEST_F(AutoUpdateTest, RefusedCommandFallsBackToVbiAndThenGivesUp) {
  rx.acceptUpdate = false;
  firmware("FW_P1.bin", 481280);
  addPort(&rx);
  AutoUpdateThread(*c);
  EXPECT_EQ(lastLines(2), (Lines{"Send Cmd.. Wait 10 seconds...", "Fail in Update Command"}));
  EXPECT_GE(lines().size(), 3u);
  EXPECT_TRUE(rx.received.empty());
  EXPECT_EQ(status(), "");
  EXPECT_FALSE(c->session.portHandle.valid());
}

TEST_F(AutoUpdateTest, UnknownVersionRecoversThroughTheKernelMenu) {
  rx.version = 4;
  const std::string p1 = firmware("FW_P1.bin", 481280);
  firmware("FW_P2.bin", 491520);
  addPort(&rx);
  FakeReceiver kernel;
  kernel.kernelZ = true;
  // After the reopen that follows the query and the 3 s pause.
  kernel.zAt = clock.tickCount() + 3000 + 5000;
  auto second = addPort(&kernel);
  AutoUpdateThread(*c);
  EXPECT_EQ(lines(), (Lines{"Current FW:4.17", "Recovering... ", "Message Received. ",
                            "Updating \\FW_P1.bin Please Wait...", "Wait Xmodem NAK..", "Updating.. Please Wait ...",
                            "Update Successfully!  ", "Please Reset Device To Make It Effect!  "}));
  // The menu keys, in order, before the blocks.
  EXPECT_EQ(kernel.keys, (Bytes{0x20, 0x1B, 0x20, 0x1B, '1', 'y', 0x04}));
  EXPECT_EQ(second->lineSettings().baud, 115200u);
  std::swap(rx, kernel);
  expectReceived(p1);
  EXPECT_EQ(opener.opened(), (Lines{"COM2:", "COM2:"}));
}

TEST_F(AutoUpdateTest, SilentReceiverEndsWithAPowerCyclePlea) {
  rx.version = 0;
  firmware("FW_P1.bin", 481280);
  addPort();
  addPort();
  const uint32_t before = clock.tickCount();
  AutoUpdateThread(*c);
  EXPECT_EQ(lastLines(3), (Lines{"Recovering... ", "NO Message Received. ", kPowerOff}));
  EXPECT_EQ(status(), "");
  // 4 s without an acknowledgement, the 3 s pause, 16 s for the kernel.
  EXPECT_GE(clock.tickCount() - before, 23000u);
  EXPECT_EQ(c->session.firmwareVersion, 0);
}

TEST_F(AutoUpdateTest, PortOrFileMissing) {
  AutoUpdateThread(*c);
  EXPECT_EQ(lines(), (Lines{"Create COM Port failed..\r\n", "COM port open Failed!  "}));

  // Empty file names name the card folder itself, which does not open.
  c->textLog.reset();
  c->autoUpdate.autoUpdateFileName.set("");
  fs::create_directories(root / "SDMMC");
  auto port = addPort(&rx);
  AutoUpdateThread(*c);
  EXPECT_EQ(lines().back(), "Can't Open FW File. ");
  EXPECT_EQ(c->session.portHandle.get(), port);  // left open
}

TEST_F(AutoUpdateTest, ReceiverThatStopsAckingReportsFail) {
  firmware("FW_P1.bin", 481280);
  auto port = addPort(&rx);
  // After the first block the receiver answers nothing.
  int ownedWhileWriting = 1;
  port->onWrite([&](ScriptedPort& p, const Bytes& call) {
    ownedWhileWriting = std::min<int>(ownedWhileWriting, c->session.autoUpdateRunning);
    if (call.size() == 1028 && !rx.received.empty()) return;
    rx.onWrite(p, call);
  });
  AutoUpdateThread(*c);
  // It owns the port while it works, and gives it up at its end.
  EXPECT_EQ(ownedWhileWriting, 1);
  EXPECT_EQ(c->session.autoUpdateRunning, 0);
  EXPECT_EQ(status(), "FAIL");
  EXPECT_EQ(lastLines(3), (Lines{"No Xmodem ACK received.. ", "Update Failed!  ", kPowerOff}));
  EXPECT_FALSE(c->session.portHandle.valid());
}

}  // namespace
}  // namespace ferrolan
