#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "link/version_query.h"
#include "tests/support/test_support.h"

namespace ferrolan {
namespace {

using test::ScriptedRig;

std::optional<VersionReply> parse(std::string_view s) {
  return parseVersionReply(std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(s.data()), s.size()));
}

TEST(VersionReplyParser, ReadsFieldsThreeAndFour) {
  struct Case {
    std::string text, major, minor;
  };
  const std::vector<Case> ok = {
      {",GSC3,B1,3,17,0*3A\r\n$GPGGA,", "3", "17"},
      {",,,5,2,", "5", "2"},
      {",a,b,,,", "", ""},
      // The reply's own end is not a separator; the next sentence's comma is.
      {",a,b,2,04*11\r\n$GPRMC,123", "2", "04*11\r\n$GPRMC"},
      {"," + std::string(31, 'x') + "," + "y,1,2,", "1", "2"},
      {",a,b," + std::string(31, '7') + "," + std::string(31, '8') + ",", std::string(31, '7'), std::string(31, '8')},
  };
  for (const auto& c : ok) {
    auto v = parse(c.text);
    ASSERT_TRUE(v) << c.text;
    EXPECT_EQ(v->major, c.major) << c.text;
    EXPECT_EQ(v->minor, c.minor) << c.text;
  }
  // Each received byte is one character; bytes above 0x7F come out as UTF-8.
  auto high = parse(",a,b,3\xE9,1,");
  ASSERT_TRUE(high);
  EXPECT_EQ(high->major, "3\xC3\xA9");
}

TEST(VersionReplyParser, RefusesShortRepliesAndRunawayFields) {
  const std::vector<std::string> bad = {
      "",
      ",",
      ",a,b,3",        // three separators
      ",a,b,3,17",     // field 4 never ends
      "a,b,3,17",      // the first character is not looked at: three separators
      ",a,b," + std::string(32, '3') + ",1,",
      ",a,b,3," + std::string(32, '1') + ",",
      std::string(",a,b,3\0,1,", 10),  // a zero byte ends the text
  };
  for (const auto& s : bad) EXPECT_FALSE(parse(s)) << s;

  // Only 128 bytes count: a fourth separator at index 128 is outside.
  std::string edge = ",a,b,3," + std::string(121, '1');
  ASSERT_EQ(edge.size(), 128u);
  EXPECT_FALSE(parse(edge + ","));
  edge[127] = ',';
  EXPECT_FALSE(parse(edge)) << "field 4 is longer than 31 characters";
}

class VersionQuery : public ::testing::Test {
 protected:
  ScriptedRig rig;
  void SetUp() override {
    rig.attach();
    rig.ui.openWindow(WindowId::InfoPage, {{ids::kInfoVersion, {}}});
    rig.ctx.session.firmwareVersion = 7;
  }
  std::string field() { return rig.ui.text(WindowId::InfoPage, ids::kInfoVersion); }
};

const std::string kTail = "$GPGGA,000000.00,0000.0000,N,00000.0000,E,0,00,0.0,0.0,M,0.0,M,,*60\r\n"
                          "$GPRMC,000000.00,V,0000.0000,N,00000.0000,E,0.0,0.0,010126,,,N*00\r\n";

TEST_F(VersionQuery, ShowsTheVersionAndKeepsTheMajorNumber) {
  rig.ctx.textLog.append("old");
  rig.port->receive("$GPGSV,1*00\r\n$PKRV200,14*1A\r\n$GPGSA*00\r\n$PKRV100,GSC,B,3,17,A*55\r\n" + kTail);
  queryFirmwareVersion(rig.ctx);
  EXPECT_EQ(rig.log(), std::vector<std::string>{"Current FW:3.17"});
  EXPECT_EQ(field(), "Current FW:3.17");
  EXPECT_EQ(rig.ctx.session.firmwareVersion, 3);
  EXPECT_EQ(rig.port->writtenText().substr(0, 14), "$PKRV14,8*0E\r\n");
}

TEST_F(VersionQuery, AcknowledgementAndReplyHaveTheirOwnFourSecondWindows) {
  const uint32_t t0 = rig.clock.tickCount();
  rig.port->receiveAt(t0 + 3500, "$PKRV200,14*1A\r\n");
  rig.port->receiveAt(t0 + 7000, "$PKRV100,x,y,5,2,\r\n" + kTail);
  queryFirmwareVersion(rig.ctx);
  EXPECT_EQ(rig.ctx.session.firmwareVersion, 5);
  EXPECT_EQ(field(), "Current FW:5.2");
}

TEST_F(VersionQuery, SilentReceiverAfterTheAcknowledgementEndsAfterFourSeconds) {
  rig.port->receive("$PKRV200,14*1A\r\n$PKRV10 $PKRX100,1,1,9,9,");
  const uint32_t t0 = rig.clock.tickCount();
  queryFirmwareVersion(rig.ctx);
  const uint32_t spent = rig.clock.tickCount() - t0;
  EXPECT_GE(spent, 4000u);
  EXPECT_LT(spent, 5100u);
  EXPECT_EQ(field(), "Wait...");
  EXPECT_TRUE(rig.log().empty());
  EXPECT_EQ(rig.ctx.session.firmwareVersion, 7);
}

TEST_F(VersionQuery, ShortReplyFollowedBySilenceIsRefusedAfterItsReads) {
  rig.port->receive("$PKRV200,14*1A\r\n$PKRV100,a,b,3\r\n");
  queryFirmwareVersion(rig.ctx);
  EXPECT_EQ(rig.log(), std::vector<std::string>{"Failed To Get Version \r\n"});
  EXPECT_EQ(field(), "Wait...");
  EXPECT_EQ(rig.ctx.session.firmwareVersion, 7);
}

TEST_F(VersionQuery, VbiModeWritesTheRequestButAwaitsNothing) {
  rig.ctx.session.protocolMode = ProtocolMode::Vbi;
  const uint32_t t0 = rig.clock.tickCount();
  queryFirmwareVersion(rig.ctx);
  EXPECT_EQ(rig.port->written().size(), 46u);
  EXPECT_EQ(rig.port->readCalls(), 0u);
  EXPECT_EQ(rig.lastLog(), "Failed To Get Version \r\n");
  EXPECT_EQ(rig.clock.tickCount() - t0, 1000u);
  EXPECT_EQ(rig.ctx.session.firmwareVersion, 7);

  rig.ctx.session.portHandle.reset();
  queryFirmwareVersion(rig.ctx);
  EXPECT_EQ(rig.log(), (std::vector<std::string>{"COM Port didn't open..", "Failed To Get Version \r\n"}));
}

}  // namespace
}  // namespace ferrolan
