// How the simulated firmware answers the program's commands: the rows of
// the command tables, sent twice, acknowledged once, obeyed once.
#include <functional>

#include "sim/command_intake.h"
#include "sim/line.h"
#include "tests/support/sim_test_support.h"

using namespace ferrolan;
using namespace ferrolan::sim;
using namespace ferrolan::simtest;

namespace {

struct Rig {
  uint32_t now = 5000;
  ReceiverConfig cfg;
  std::unique_ptr<Receiver> rx;
  // `set` adjusts the configuration the receiver starts with.
  explicit Rig(const std::function<void(ReceiverConfig&)>& set = {}) {
    if (set) set(cfg);
    rx = std::make_unique<Receiver>(cfg, now);
    run(*rx, now, 1200);
  }
  std::string command(const std::string& sentence, uint32_t ms = 500) {
    sendTwice(*rx, now, sentence);
    return text(collect(*rx, now, ms));
  }
  Bytes frame(const Bytes& f, uint32_t ms = 500) {
    sendBytesTwice(*rx, now, f);
    return collect(*rx, now, ms);
  }
};

const Bytes kFlashKernelEntryFrame{0x81, 0xFF, 0x0B, 0x00, 0x02, 0x00, 0x8C, 0xFF, 0x61, 0x06};
const Bytes kEpilogueFrame{0x81, 0xFF, 0x0B, 0x00, 0x02, 0x00, 0xD0, 0xFF, 0x21, 0x02};
const Bytes kColdStartFrame{0x81, 0xFF, 0x02, 0x00, 0x06, 0x00, 0xA0, 0xFF, 0x58, 0x00, 0x00, 0x00, 0x00, 0x00};
const Bytes kBaud115200Frame{0x81, 0xFF, 0x0A, 0x00, 0x08, 0x00, 0xA5, 0xFF, 0x49, 0, 0, 0, 0, 0, 0, 0};

}  // namespace

TEST(SimCommands, VersionQueryIsAcknowledgedOnceThenAnsweredWithTheConfiguredVersion) {
  Rig r([](ReceiverConfig& c) {
    c.versionMajor = 5;
    c.versionMinor = 4;
  });
  const std::string out = r.command("$PKRV14,8*0E\r\n", 10);
  const size_t ack = out.find("$PKRV200,14");
  const size_t reply = out.find("$PKRV100,");
  ASSERT_NE(reply, std::string::npos);
  EXPECT_LT(ack, reply);  // and so the acknowledgement is there
  EXPECT_EQ(count(out, "$PKRV200,14"), 1u);
  // Fields after the tag, counted from 1: 3 = major, 4 = minor.
  for (const auto& s : sentencesOf(out.substr(reply, out.find("\r\n", reply) + 2 - reply))) {
    EXPECT_TRUE(s.checksumOk);
    ASSERT_GE(s.fields.size(), 6u);
    EXPECT_EQ(s.fields[3], "5");
    EXPECT_EQ(s.fields[4], "4");
  }
  EXPECT_EQ(r.rx->counters().commands, 1u);
  EXPECT_EQ(r.rx->counters().duplicates, 1u);
}

TEST(SimCommands, SwitchToVbiIsAcknowledgedInNmeaAndSwitchBackInNmea) {
  Rig r;
  std::string out = r.command("$PKRV11,1,1,7,0*18\r\n", 10);
  EXPECT_NE(out.find("$PKRV200,11"), std::string::npos);
  EXPECT_EQ(r.rx->mode(), Mode::FirmwareVbi);
  for (const auto& f : framesOf(run(*r.rx, r.now, 3000))) { EXPECT_TRUE(f.checksumOk); }
  out = r.command("$PKRV11,1,1,2,2,0*03\r\n", 10);
  EXPECT_EQ(r.rx->mode(), Mode::FirmwareNmea);
  EXPECT_NE(out.find("$PKRV200,11"), std::string::npos);
  for (const auto& s : sentencesOf(out + text(run(*r.rx, r.now, 2000)))) { EXPECT_TRUE(s.checksumOk) << s.text; }
}

TEST(SimCommands, RestartAnnouncesItselfDropsTheFixAndRegainsItAfterItsTime) {
  Rig r([](ReceiverConfig& c) { c.ttff = {2, 5, 9}; });
  EXPECT_EQ(r.rx->currentFix(r.now), FixKind::Fix3D);
  const std::string out = r.command("$PKRV02,58*3C\r\n", 10);
  EXPECT_NE(out.find("$PKRV200,02"), std::string::npos);
  EXPECT_EQ(r.rx->counters().restarts, 1u);
  for (const auto& s : sentencesOf(text(run(*r.rx, r.now, 8000))))
    if (s.fields[0] == "GPGSA") { EXPECT_EQ(s.fields[2], "1"); }
  run(*r.rx, r.now, 1500);
  EXPECT_EQ(r.rx->currentFix(r.now), FixKind::Fix3D);
  // The VBI form of the restart, in VBI mode, is acknowledged with its id.
  r.command("$PKRV11,1,1,7,0*18\r\n", 10);
  const Bytes ack = r.frame(kColdStartFrame, 0);
  ASSERT_GE(ack.size(), 3u);
  EXPECT_EQ(Bytes(ack.begin(), ack.begin() + 3), (Bytes{0x81, 0xFF, 0x02}));
  EXPECT_EQ(r.rx->counters().restarts, 2u);
}

TEST(SimCommands, UpdateEntryLeadsToTheFlashKernelAt115200WithZBytes) {
  Rig r;
  const std::string out = r.command("$PKRV11,1,0,6,2,0*06\r\n", 1000);
  EXPECT_NE(out.find("$PKRV200,11"), std::string::npos);
  EXPECT_EQ(r.rx->mode(), Mode::FlashKernel);
  EXPECT_EQ(r.rx->baud(), 115200u);
  EXPECT_GE(count(text(run(*r.rx, r.now, 2000)), "Z"), 3u);
  // No key within the announcement: the kernel waits for the firmware upload.
  const Bytes later = run(*r.rx, r.now, 12000);
  EXPECT_GE(std::count(later.begin(), later.end(), 0x15), 3);
}

TEST(SimCommands, VbiUpdateFrameIsAcknowledgedWithItsId) {
  Rig r([](ReceiverConfig& c) { c.startInVbi = true; });
  const Bytes out = r.frame(kFlashKernelEntryFrame, 0);
  // The ack is a frame 0x81 0xFF 0x0B ... with a valid checksum.
  const auto frames = framesOf(Bytes(out.begin(), out.begin() + 8));
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_EQ(frames[0].id, 0x0B);
  EXPECT_TRUE(frames[0].checksumOk);
  run(*r.rx, r.now, 500);
  EXPECT_EQ(r.rx->mode(), Mode::FlashKernel);
}

TEST(SimCommands, AllImageEntryIsNotAcknowledgedAndGoesStraightToXmodem) {
  Rig r;
  const std::string out = r.command("$PKRV11,1,0,6,2,3*05\r\n", 1000);
  EXPECT_EQ(out.find("$PKRV200"), std::string::npos);
  EXPECT_EQ(r.rx->mode(), Mode::FlashKernel);
  EXPECT_EQ(std::count(out.begin(), out.end(), 'Z'), 0);
  EXPECT_GE(std::count(out.begin(), out.end(), '\x15'), 3);
}

TEST(SimCommands, RefusedUpdatesAndTheNoAckFaultAnswerNothing) {
  Rig r([](ReceiverConfig& c) { c.refuseUpdate = true; });
  std::string out = r.command("$PKRV11,1,0,6,2,1*07\r\n", 1000);
  EXPECT_EQ(out.find("$PKRV200"), std::string::npos);
  EXPECT_EQ(r.rx->mode(), Mode::FirmwareNmea);
  r.rx->setNeverAck(true);
  out = r.command("$PKRV14,8*0E\r\n", 10);
  EXPECT_EQ(out.find("$PKRV200"), std::string::npos);
  // Without a flash kernel the firmware cannot leave for it either.
  Rig b([](ReceiverConfig& c) { c.kernelInstalled = false; });
  out = b.command("$PKRV11,1,0,6,2,0*06\r\n", 1000);
  EXPECT_EQ(out.find("$PKRV200,11"), std::string::npos);
  EXPECT_EQ(b.rx->mode(), Mode::FirmwareNmea);
}

TEST(SimCommands, SingleChannelAndBadChecksums) {
  Rig r;
  r.command(withChecksum("PKRV08,5"), 10);
  EXPECT_EQ(r.rx->singleChannel(), 5);
  EXPECT_EQ(r.rx->currentFix(r.now), FixKind::None);
  // A sentence whose checksum is wrong is not obeyed.
  r.command("$PKRV08,0*0C\r\n", 10);
  EXPECT_EQ(r.rx->singleChannel(), 5);
  EXPECT_GE(r.rx->intakeCounters().badChecksums, 2u);
  r.command("$PKRV08,0*0B\r\n", 10);
  EXPECT_EQ(r.rx->singleChannel(), 0);
}

TEST(SimCommands, StoredBaudAppliesAtTheNextPowerCycleAndTheBaudFrameAtOnce) {
  Rig r;
  r.command("$PKRV09,2,8*1C\r\n", 10);
  r.command("$PKRV09,,*16\r\n", 10);
  EXPECT_EQ(r.rx->storedBaud(), 115200u);
  EXPECT_EQ(r.rx->baud(), 9600u);
  r.rx->setKernelInstalled(false);
  r.rx->enterMode(StartState::Firmware, r.now);
  EXPECT_EQ(r.rx->baud(), 115200u);

  Rig b;
  b.frame(kBaud115200Frame, 300);
  EXPECT_EQ(b.rx->baud(), 115200u);
  EXPECT_EQ(b.rx->storedBaud(), 9600u);
}

TEST(SimCommands, EphemerisFramesAreCountedAndKept) {
  Rig r;
  r.command("$PKRV11,1,0,1,2,0*01\r\n", 10);
  for (int i = 0; i < 5; ++i) {
    for (uint8_t b : vbiFrame(141, Bytes(40, static_cast<uint8_t>(i)))) r.rx->receive(b, r.now);
    r.now += 100;
  }
  r.frame(kEpilogueFrame, 10);
  EXPECT_EQ(r.rx->counters().ephemerisFrames, 5u);
  ASSERT_EQ(r.rx->ephemeris().size(), 5u);
  EXPECT_EQ(r.rx->ephemeris()[3][8], 3);
  EXPECT_NE(r.rx->stateLine(r.now).find(" ephemeris=5 "), std::string::npos);
}

TEST(SimCommandIntake, NoiseBetweenCommandsIsSkippedAndLengthsAreBounded) {
  CommandIntake in;
  std::vector<IntakeItem> items;
  auto feed = [&](const Bytes& b) {
    for (uint8_t x : b)
      if (auto it = in.feed(x)) items.push_back(*it);
  };
  auto feedText = [&](const std::string& s) { feed(Bytes(s.begin(), s.end())); };
  Noise noise(9);
  for (int i = 0; i < 500; ++i) feed(Bytes{noise.next()});
  feed(Bytes{0x81, 0xFF, 0x0B, 0x00, 0xFF, 0x7F, 0x00, 0x00});  // a length far past the limit
  feedText("$PKRV14,8*0E\r\n");
  feed(kEpilogueFrame);
  feedText("$PKRV" + std::string(500, '1'));
  feedText("$PKRV14,8*0E\r\n");
  ASSERT_EQ(items.size(), 3u);
  EXPECT_EQ(items[0].body, "PKRV14,8");
  EXPECT_EQ(items[1].id, 0x0B);
  EXPECT_EQ(items[1].payload, (Bytes{0x21, 0x02}));
  EXPECT_EQ(items[2].body, "PKRV14,8");
  EXPECT_GE(in.counters().overlong, 2u);
}

TEST(SimLine, MismatchedRatesDeliverGarbageThatLooksLikeNothingTheProgramWaitsFor) {
  Noise noise(1);
  Bytes in;
  for (int i = 0; i < 1000; ++i) in.push_back(static_cast<uint8_t>("$GPZ\x15\x06\x81\xFF"[i % 8]));
  EXPECT_EQ(garble(in, 9600, 9600, noise), in);
  const Bytes slow = garble(in, 9600, 115200, noise);
  const Bytes fast = garble(in, 115200, 9600, noise);
  EXPECT_EQ(slow.size(), in.size());
  EXPECT_EQ(fast.size(), in.size() / 12 + 1);
  for (const Bytes* b : {&slow, &fast})
    for (uint8_t x : *b) {
      EXPECT_GE(x, 0x82);
      EXPECT_LE(x, 0xFE);
    }
}

TEST(SimLine, PacingFollowsTheRateAndThePauseFaultStallsInsideASentence) {
  OutputLine line;
  const std::string s = "$GPRMC,1*00\r\n";
  for (int i = 0; i < 200; ++i) line.queue(Bytes(s.begin(), s.end()));
  size_t sent = 0;
  for (uint32_t t = 0; t <= 1000; t += 5) sent += line.drain(t, 9600, 9600).size();
  EXPECT_NEAR(static_cast<double>(sent), 960.0, 25.0);
  line.clear();
  line.faults.pauseArmed = true;
  line.queue(Bytes(s.begin(), s.end()));
  size_t got = 0;
  uint32_t t = 2000;
  for (; got < 6 && t < 2100; t += 5) got += line.drain(t, 9600, 9600).size();
  EXPECT_EQ(got, 6u);  // "$" and five more, then the stall
  for (uint32_t u = t; u < t + 1400; u += 5) { EXPECT_TRUE(line.drain(u, 9600, 9600).empty()); }
  size_t rest = 0;
  for (uint32_t u = t + 1500; u < t + 1600; u += 5) rest += line.drain(u, 9600, 9600).size();
  EXPECT_EQ(rest, s.size() - 6);
}
