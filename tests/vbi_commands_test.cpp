#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "link/vbi_commands.h"
#include "tests/support/test_support.h"

namespace ferrolan {
namespace {

using test::ScriptedRig;
using Bytes = std::vector<uint8_t>;
using Lines = std::vector<std::string>;

const Lines kSendLine = {"Send Cmd.. Wait 10 seconds..."};
const std::string kFrameLine = "SendVBICommand set baud rate.. Wait..\r\n";

// The receiver's contract, written out as it is documented.
const std::vector<Bytes> kDocumentedRows = {
    {0x81, 0xFF, 0x0B, 0x00, 0x02, 0x00, 0x8C, 0xFF, 0x61, 0x06},
    {0x81, 0xFF, 0x0B, 0x00, 0x02, 0x00, 0x90, 0xFF, 0x61, 0x02},
    {0x81, 0xFF, 0x0B, 0x00, 0x02, 0x00, 0x88, 0xFF, 0x61, 0x0A},
    {0x81, 0xFF, 0x02, 0x00, 0x06, 0x00, 0xF0, 0xFF, 0x08, 0x00, 0x00, 0x00, 0x00, 0x00},
    {0x81, 0xFF, 0x02, 0x00, 0x06, 0x00, 0xB0, 0xFF, 0x48, 0x00, 0x00, 0x00, 0x00, 0x00},
    {0x81, 0xFF, 0x02, 0x00, 0x06, 0x00, 0xA0, 0xFF, 0x58, 0x00, 0x00, 0x00, 0x00, 0x00},
    {0x81, 0xFF, 0x0B, 0x00, 0x02, 0x00, 0xD0, 0xFF, 0x21, 0x02},
    {},
};

Bytes asBytes(const auto& frame) { return Bytes(frame.begin(), frame.end()); }

TEST(VbiCommandTable, RowsMatchTheReceiverContractAndCarryValidChecksums) {
  for (size_t r = 0; r < kDocumentedRows.size(); ++r) {
    SCOPED_TRACE(r);
    Bytes expected = kDocumentedRows[r];
    expected.resize(kVbiRowSize, 0);
    EXPECT_EQ(asBytes(VbiCommandTable[r]), expected);
    if (r < 7) {
      EXPECT_TRUE(vbiChecksumValid(VbiCommandTable[r]));
      EXPECT_EQ(vbiChecksum(VbiCommandTable[r], getLe16(VbiCommandTable[r], 4)), getLe16(VbiCommandTable[r], 6));
      // Acknowledged by its own id.
      EXPECT_EQ(Bytes(VbiAckTable[r].begin(), VbiAckTable[r].begin() + 3), (Bytes{0x81, 0xFF, VbiCommandTable[r][2]}));
    }
  }
}

TEST(VbiFrame, ChecksumAndBuilderAgreeOnTruncatedAndOddInput) {
  EXPECT_FALSE(vbiChecksumValid(Bytes{0x81, 0xFF, 0x0B}));
  // Length field larger than the bytes present: not valid, and no read past the end.
  EXPECT_FALSE(vbiChecksumValid(Bytes{0x81, 0xFF, 0x01, 0x00, 0xFF, 0x00, 0x00, 0x00, 0x01}));
  auto f = makeVbiFrame<11>(0x1234, std::array<uint8_t, 3>{1, 2, 3});
  EXPECT_TRUE(vbiChecksumValid(f));
  uint32_t sum = 0;
  for (size_t i = 2; i < 6; ++i) sum += f[i];
  for (size_t i = 8; i < 11; ++i) sum += f[i];
  EXPECT_EQ((sum + getLe16(f, 6)) & 0xFFFF, 0u);
  f[9] ^= 1;
  EXPECT_FALSE(vbiChecksumValid(f));
}

TEST(VbiBaudRateFrame, EachRateHasItsDocumentedFrameAndOthersSendCodeZero) {
  const std::vector<std::pair<int, Bytes>> cases = {
      {4800, {0x81, 0xFF, 0x0A, 0x00, 0x08, 0x00, 0xCD, 0xFF, 0x21}},
      {9600, {0x81, 0xFF, 0x0A, 0x00, 0x08, 0x00, 0xC5, 0xFF, 0x29}},
      {19200, {0x81, 0xFF, 0x0A, 0x00, 0x08, 0x00, 0xBD, 0xFF, 0x31}},
      {38400, {0x81, 0xFF, 0x0A, 0x00, 0x08, 0x00, 0xB5, 0xFF, 0x39}},
      {57600, {0x81, 0xFF, 0x0A, 0x00, 0x08, 0x00, 0xAD, 0xFF, 0x41}},
      {115200, {0x81, 0xFF, 0x0A, 0x00, 0x08, 0x00, 0xA5, 0xFF, 0x49}},
  };
  for (auto [baud, head] : cases) {
    head.resize(16, 0);
    EXPECT_EQ(asBytes(vbiBaudRateFrame(baud)), head) << baud;
  }
  for (int other : {0, 1200, 230400, -9600, 115201}) {
    const auto f = vbiBaudRateFrame(other);
    EXPECT_EQ(f[8], 0x00) << other;
    EXPECT_TRUE(vbiChecksumValid(f));
  }
}

class VbiSend : public ::testing::Test {
 protected:
  ScriptedRig rig;
  void SetUp() override {
    rig.attach();
    rig.ctx.session.protocolMode = ProtocolMode::Vbi;
  }
  // Every write call, checked to be a single byte, joined.
  Bytes singleByteWrites() {
    Bytes all;
    for (const auto& w : rig.port->writeCalls()) {
      EXPECT_EQ(w.size(), 1u);
      all.insert(all.end(), w.begin(), w.end());
    }
    return all;
  }
  // The first n bytes of the row went out twice, byte by byte.
  void expectRowTwice(int row, size_t n) {
    Bytes twice(2 * n);
    std::copy_n(VbiCommandTable[row].begin(), n, std::copy_n(VbiCommandTable[row].begin(), n, twice.begin()));
    EXPECT_EQ(singleByteWrites(), twice);
  }
};

TEST_F(VbiSend, RowsWithoutAcknowledgementGoOutTwiceByteByByteAndAnswerAtOnce) {
  EXPECT_TRUE(gpsSendVBICommand(rig.ctx, 6, 10));
  expectRowTwice(6, 10);
  EXPECT_EQ(rig.port->readCalls(), 0u);
  EXPECT_EQ(rig.log(), kSendLine);
}

TEST_F(VbiSend, NmeaModeWritesRowsZeroAndOneButAnswersFalseWithoutReading) {
  rig.ctx.session.protocolMode = ProtocolMode::Nmea;
  rig.port->receive(Bytes{0x81, 0xFF, 0x0B});
  EXPECT_FALSE(gpsSendVBICommand(rig.ctx, 0, 10));
  expectRowTwice(0, 10);
  EXPECT_EQ(rig.port->readCalls(), 0u);
}

TEST_F(VbiSend, CountIsBoundedByTheRow) {
  EXPECT_TRUE(gpsSendVBICommand(rig.ctx, 7, 1000));
  expectRowTwice(7, kVbiRowSize);
}

TEST_F(VbiSend, AcknowledgementIsSearchedAsThreeStateSequence) {
  // 0x81 0x81 0xFF 0x0B: the second 0x81 breaks the sequence and is not
  // looked at again, so only the later, clean acknowledgement counts.
  rig.port->receive(Bytes{0x81, 0x81, 0xFF, 0x0B, 0x24, 0x81, 0xFF, 0x02});
  rig.port->receive(Bytes{0x81, 0xFF, 0x0B}, 6000);
  const uint32_t start = rig.clock.tickCount();
  EXPECT_TRUE(gpsSendVBICommand(rig.ctx, 0, 10));
  EXPECT_GE(rig.clock.tickCount() - start, 6000u);
  EXPECT_EQ(rig.port->pendingBytes(), 0u);
}

TEST_F(VbiSend, BrokenOrLateAcknowledgementsEndFalseAfterElevenSeconds) {
  rig.port->receive(Bytes{0x81, 0x81, 0xFF, 0x0B});
  // A silence of a read time-out inside the sequence breaks it too.
  rig.port->receive(Bytes{0x81}, 1000);
  rig.port->receive(Bytes{0xFF, 0x0B}, 1500);
  rig.port->receive(Bytes{0x81, 0xFF, 0x0B}, 12000);  // too late
  const uint32_t start = rig.clock.tickCount();
  EXPECT_FALSE(gpsSendVBICommand(rig.ctx, 1, 10));
  const uint32_t spent = rig.clock.tickCount() - start;
  EXPECT_GE(spent, 11000u);
  EXPECT_LT(spent, 12100u);
  EXPECT_EQ(rig.log(), kSendLine);
}

TEST_F(VbiSend, ClosedPortBadRowsAndWriteFailuresAreReported) {
  rig.port->failWritesAfter(13);
  EXPECT_FALSE(gpsSendVBICommand(rig.ctx, 0, 10));
  EXPECT_EQ(rig.lastLog(), "Write COM Port failed...");
  EXPECT_EQ(rig.port->written().size(), 13u);

  EXPECT_FALSE(gpsSendVBICommand(rig.ctx, 8, 10));
  EXPECT_FALSE(gpsSendVBICommand(rig.ctx, -1, 10));

  rig.ctx.session.portHandle.reset();
  rig.ctx.textLog.reset();
  EXPECT_FALSE(gpsSendVBICommand(rig.ctx, 6, 10));
  EXPECT_EQ(rig.log(), Lines{"COM Port didn't open..."});
}

TEST_F(VbiSend, EphemerisEpilogueKeepsTheUploadsLineAndSendsRowSix) {
  rig.ui.openWindow(WindowId::TextPage, {{ids::kTextLog, {}}, {ids::kTextProgress, {}}});
  rig.ui.setProgress(WindowId::TextPage, ids::kTextProgress, 55);
  rig.ctx.textLog.append("upload line");
  EXPECT_TRUE(sendEphemerisEpilogue(rig.ctx));
  EXPECT_EQ(rig.ui.progress(WindowId::TextPage, ids::kTextProgress), 0);
  EXPECT_EQ(rig.log(), (Lines{"upload line", kSendLine[0]}));
  expectRowTwice(6, 10);
}

TEST_F(VbiSend, BaudRateFrameIsWrittenByteByByteWithItsFailures) {
  rig.ctx.session.targetBaud = 57600;
  sendVbiBaudRate(rig.ctx);
  EXPECT_EQ(singleByteWrites(), asBytes(vbiBaudRateFrame(57600)));
  EXPECT_EQ(rig.log(), Lines{kFrameLine});

  rig.port->failWritesAfter(3);
  sendVbiBaudRate(rig.ctx);
  EXPECT_EQ(rig.lastLog(), "Write COM Port failed..\r\n");

  rig.ctx.session.portHandle.reset();
  sendVbiBaudRate(rig.ctx);
  EXPECT_EQ(rig.lastLog(), "COM Port didn't open..\r\n");
}

TEST_F(VbiSend, SwitchTellsTheReceiverAfterFiveSecondsAndReRatesFiveSecondsLater) {
  rig.ui.openWindow(WindowId::TextPage, {{ids::kTextLog, {}}, {ids::kTextProgress, {}}, {ids::kTextBaudLabel, {}}});
  rig.ui.setText(WindowId::TextPage, ids::kTextBaudLabel, "9600");
  rig.ctx.session.baudText.set("9600");
  rig.ctx.session.targetBaud = 115200;
  std::vector<uint32_t> writeTicks;
  rig.port->onWrite([&](ScriptedPort&, const ScriptedPort::Bytes&) { writeTicks.push_back(rig.clock.tickCount()); });
  const uint32_t start = rig.clock.tickCount();
  switchBaudRate(rig.ctx);

  EXPECT_EQ(singleByteWrites(), asBytes(vbiBaudRateFrame(115200)));
  ASSERT_FALSE(writeTicks.empty());
  EXPECT_EQ(writeTicks.front() - start, 5000u);
  EXPECT_EQ(rig.clock.tickCount() - start, 10000u);
  EXPECT_EQ(rig.port->lineSettings().baud, 115200u);
  EXPECT_EQ(rig.port->lineSettings(), withReceiverLine(LineSettings{}, 115200));
  EXPECT_EQ(rig.ctx.session.baudText.get(), "9600");
  EXPECT_EQ(rig.ui.text(WindowId::TextPage, ids::kTextBaudLabel), "9600");
  const auto log = rig.log();
  ASSERT_EQ(log.size(), 4u);  // three marks around the frame's own line
  EXPECT_EQ(log[1], kFrameLine);
  EXPECT_TRUE(rig.host.boxes().empty());
}

TEST(VbiSwitch, WithoutPortOrWithLineFailuresShowsMessageBoxesAndCarriesOn) {
  const struct {
    const char* name;
    bool attached, failGetLine;
    int baud;
    Lines boxes;
  } cases[] = {
      {"no port", false, false, 38400, {"Fail To GetCommState", "Fail To SetCommState"}},
      {"a line that cannot be read is re-rated all the same", true, true, 19200, {"Fail To GetCommState"}},
      {"no rate chosen: the frame says 0x00 and the line refuses", true, false, 0, {"Fail To SetCommState"}},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(k.name);
    ScriptedRig rig;
    if (k.attached) rig.attach();
    if (k.failGetLine) rig.port->failGetLine();
    rig.ctx.session.targetBaud = k.baud;
    switchBaudRate(rig.ctx);
    const auto boxes = rig.host.boxes();
    ASSERT_EQ(boxes.size(), k.boxes.size());
    for (size_t i = 0; i < boxes.size(); ++i) {
      EXPECT_EQ(boxes[i].text, k.boxes[i]);
      EXPECT_EQ(boxes[i].caption, "Error");
      EXPECT_EQ(boxes[i].owner, WindowId::TextPage);
    }
    EXPECT_EQ(rig.log()[1], k.attached ? kFrameLine : "COM Port didn't open..\r\n");
    EXPECT_EQ(rig.port->written().size(), k.attached ? 16u : 0u);
    EXPECT_EQ(rig.port->lineSettings().baud, k.failGetLine ? 19200u : LineSettings{}.baud);
  }
}

}  // namespace
}  // namespace ferrolan
