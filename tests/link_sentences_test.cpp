// Command sentences byte for byte: the table, composition, the two copies
// on the wire and the acknowledgement search.

#include "link/command_sentences.h"
#include "link/serial_session.h"
#include "tests/support/test_support.h"

namespace ferrolan {
namespace {

using test::ScriptedRig;

std::string sentenceOf(int row) { return std::string(CommandSentenceTable[row].sentence.data()); }
std::string ackOf(int row) { return std::string(CommandSentenceTable[row].ack.data()); }

TEST(CommandSentenceTable, RowsAreWellFormedAndFitTheirSlots) {
  for (int row = 0; row < kCommandRows; ++row) {
    SCOPED_TRACE(row);
    const std::string s = sentenceOf(row);
    const std::string ack = ackOf(row);
    ASSERT_EQ(ack.size(), 11u);
    EXPECT_EQ(ack.substr(0, 9), "$PKRV200,");
    if (row == 12) {
      EXPECT_EQ(s, "Dummy");
      continue;
    }
    // Every copy must carry at least one zero byte of padding.
    ASSERT_LT(s.size(), kSentenceSendLength);
    ASSERT_GE(s.size(), 12u);
    EXPECT_EQ(s.substr(0, 5), "$PKRV");
    EXPECT_EQ(s.substr(s.size() - 2), "\r\n");
    const size_t star = s.find('*');
    ASSERT_NE(star, std::string::npos);
    char hex[3];
    std::snprintf(hex, sizeof hex, "%02X", nmeaChecksum(s));
    EXPECT_EQ(s.substr(star + 1, 2), hex);
    EXPECT_EQ(composeSentence(s.substr(0, star)), s);
    // The acknowledgement echoes the sentence number.
    EXPECT_EQ(ack.substr(9, 2), s.substr(5, 2));
  }
}

TEST(ComposeSentence, ChecksumsOfComposedSentences) {
  EXPECT_EQ(composeSentence("$PKRV08,5"), "$PKRV08,5*0E\r\n");
  EXPECT_EQ(composeSentence("$PKRV08,5").size(), 14u);
  EXPECT_EQ(composeSentence("$PKRV09,8,4"), "$PKRV09,8,4*1A\r\n");
  EXPECT_EQ(composeSentence("$PKRV09,15,0"), "$PKRV09,15,0*22\r\n");
  EXPECT_EQ(composeSentence("$PKRV08,32"), "$PKRV08,32*3A\r\n");
  EXPECT_EQ(composeSentence("$PKRV09,,"), "$PKRV09,,*16\r\n");
  // Over-long text is cut to what the 128-byte buffer holds.
  const std::string composed = composeSentence("$" + std::string(126, 'A') + "B");
  EXPECT_EQ(composed.size(), 127u + 5u);
  EXPECT_EQ(composed.substr(127), "*00\r\n");
}

struct SentenceTest : ::testing::Test, ScriptedRig {
  SentenceTest() { attach(); }
};

TEST_F(SentenceTest, HotStartSendsFortySixBytesAndDoesNotRead) {
  EXPECT_TRUE(gpsSendNMEACommand(ctx, rows::kHotStart));
  const auto calls = port->writeCalls();
  ASSERT_EQ(calls.size(), 24u);
  std::string padded = "$PKRV02,0*01\r\n" + std::string(9, '\0');
  for (size_t i = 0; i < 23; ++i) EXPECT_EQ(calls[i], ScriptedPort::Bytes{static_cast<uint8_t>(padded[i])});
  EXPECT_EQ(calls[23], ScriptedPort::Bytes(padded.begin(), padded.end()));
  EXPECT_EQ(port->written().size(), 46u);
  EXPECT_EQ(port->readCalls(), 0u);
}

// The acknowledgement search after the version query, with the time it took
// where that matters (0: not bounded).
TEST(SentenceAck, SearchAfterTheVersionQuery) {
  const struct {
    const char* what;
    std::vector<std::pair<std::string, uint32_t>> arrivals;  // bytes, delay after the ones before
    bool acknowledged;
    uint32_t minMs, maxMs;
  } cases[] = {
      {"within four seconds", {{"$GPGGA,1,2,3*00\r\n$PKRV200,14,0*00\r\n", 2500}}, true, 0, 4000},
      {"a wrong number is read past until the window closes", {{"$PKRV200,11*00\r\n", 0}}, false, 4000, 5100},
      {"a pause inside the compared bytes fails them", {{"$PKRV2", 0}, {"00,14", 1500}}, false, 0, 0},
      {"the search goes on after a failed compare", {{"$PKRV2", 0}, {"00,14 $PKRV200,14", 1200}}, true, 0, 0},
      // The first "$" swallows "PKR$PKRV20"; what follows holds no "$".
      {"a dollar inside the compared bytes is not a new start", {{"$PKR$PKRV200,14*00", 0}}, false, 0, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ScriptedRig rig;
    rig.attach();
    for (const auto& [bytes, delayMs] : c.arrivals) rig.port->receive(bytes, delayMs);
    const uint32_t before = rig.clock.tickCount();
    EXPECT_EQ(gpsSendNMEACommand(rig.ctx, rows::kVersionQuery), c.acknowledged);
    const uint32_t spent = rig.clock.tickCount() - before;
    if (c.minMs) { EXPECT_GE(spent, c.minMs); }
    if (c.maxMs) { EXPECT_LT(spent, c.maxMs); }
    EXPECT_TRUE(rig.log().empty());
  }
}

TEST_F(SentenceTest, VbiModeWritesButAnswersFalseAtOnce) {
  ctx.session.protocolMode = ProtocolMode::Vbi;
  port->receive("$PKRV200,11");
  EXPECT_FALSE(gpsSendNMEACommand(ctx, rows::kToVbi));
  EXPECT_EQ(port->written().size(), 46u);
  EXPECT_EQ(port->readCalls(), 0u);
  EXPECT_TRUE(log().empty());
}

TEST_F(SentenceTest, WriteFailuresInEitherCopy) {
  for (size_t budget : {size_t{5}, size_t{30}}) {
    SCOPED_TRACE(budget);
    auto p = std::make_shared<ScriptedPort>(clock);
    p->failWritesAfter(budget);
    ctx.session.portHandle.set(p);
    ctx.textLog.reset();
    EXPECT_FALSE(gpsSendNMEACommand(ctx, rows::kToNmea));
    EXPECT_EQ(log(), std::vector<std::string>{"Write COM Port failed.."});
  }
}

TEST_F(SentenceTest, NoPort) {
  ctx.session.portHandle.reset();
  EXPECT_FALSE(gpsSendNMEACommand(ctx, rows::kToNmea));
  EXPECT_EQ(log(), std::vector<std::string>{"COM Port didn't open.."});
  EXPECT_FALSE(gpsSendNMEACommand(ctx, 16));
  EXPECT_FALSE(gpsSendNMEACommand(ctx, -1));
}

TEST_F(SentenceTest, RestartsSetPendingOnlyWhenSent) {
  bool cleared = false;
  ctx.session.clearSatelliteDisplay = [&] { cleared = true; };
  EXPECT_TRUE(gpsWarmStart(ctx));
  EXPECT_TRUE(cleared);
  EXPECT_EQ(ctx.session.restartPending, 1);
  EXPECT_EQ(log(), std::vector<std::string>{"Send warm-start command.\r\n"});
  EXPECT_EQ(port->writtenText().substr(0, 15), "$PKRV02,48*3D\r\n");

  ctx.session.restartPending = false;
  ctx.session.protocolMode = ProtocolMode::Vbi;
  ctx.textLog.reset();
  EXPECT_FALSE(gpsHotStart(ctx));
  EXPECT_EQ(ctx.session.restartPending, 0);
  EXPECT_EQ(log(), (std::vector<std::string>{"Send hot-start command.\r\n", "Fail in gpsSendNMEACommand\r\n"}));

  // With no display registered the restart goes on, and says what it skipped.
  ctx.session.clearSatelliteDisplay = nullptr;
  ctx.session.protocolMode = ProtocolMode::Nmea;
  ctx.textLog.reset();
  EXPECT_TRUE(gpsColdStart(ctx));
  EXPECT_EQ(log(), (std::vector<std::string>{kNoSatelliteDisplayText, "Send cold-start command.\r\n"}));
}

TEST_F(SentenceTest, ColdStartWithNoPortShowsNotAvailable) {
  ui.openWindow(WindowId::InfoPage);
  ctx.session.portHandle.reset();
  EXPECT_FALSE(gpsColdStart(ctx));
  EXPECT_EQ(ui.text(WindowId::InfoPage, ids::kInfoTtff), "N/A 0s");
  EXPECT_EQ(log(), std::vector<std::string>{"gpsColdStart - COM Port didn't open\r\n"});
  EXPECT_TRUE(port->written().empty());
}

TEST_F(SentenceTest, SmallSendersStartFromAnEmptyLog) {
  ctx.textLog.append("old");
  ui.setProgress(WindowId::TextPage, ids::kTextProgress, 77);
  port->receive("$PKRV200,11");
  EXPECT_TRUE(sendSwitchToNmea(ctx));
  EXPECT_TRUE(log().empty());
  EXPECT_EQ(ui.progress(WindowId::TextPage, ids::kTextProgress), 0);
  EXPECT_EQ(port->writtenText().substr(0, 22), sentenceOf(rows::kToNmea));
  port->receive("$PKRV200,11");
  EXPECT_TRUE(sendEphemerisPrologue(ctx));
  EXPECT_FALSE(sendSwitchToVbi(ctx));  // no acknowledgement this time
}

TEST_F(SentenceTest, WriteTextIsOneWriteAndComplainsWithoutOwner) {
  writeText(ctx, "$PKRV08,0*0B\r\n");
  ASSERT_EQ(port->writeCalls().size(), 1u);
  EXPECT_EQ(port->writtenText(), "$PKRV08,0*0B\r\n");
  EXPECT_TRUE(host.boxes().empty());
  ctx.session.portHandle.reset();
  writeText(ctx, "$PKRV08,0*0B\r\n");
  auto boxes = host.boxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, "Write Command fail! Please Check COM port");
  EXPECT_EQ(boxes[0].caption, "Error");
  EXPECT_FALSE(boxes[0].owner.has_value());
}

}  // namespace
}  // namespace ferrolan
