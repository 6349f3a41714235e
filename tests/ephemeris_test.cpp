// The long-term ephemeris upload: the file walker over generated and
// hostile files, the GPS time, and the upload on a scripted port with the
// virtual clock.
#include "ephemeris/ephemeris_upload.h"
#include "ephemeris/lte_file.h"
#include "link/serial_session.h"
#include "platform/device_root_builder.h"
#include "platform/process.h"
#include "tests/support/lte_writer.h"
#include "tests/support/test_support.h"

namespace ferrolan {
namespace {

using test::LteBytes;
using test::lteFile;
using test::lteFrame;
using test::lteFrames;
using test::lteRecord;

// The file time of RMC 2026-01-01 00:00:00: GPS seconds plus the offset.
constexpr uint32_t F = 1767225611;
constexpr size_t kHeader = 15;  // test::kLteHeader

LteBytes cat(std::vector<LteBytes> parts) {
  LteBytes all;
  for (const LteBytes& p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}

// The bytes without their last `drop` (erase, not resize: nothing grows).
LteBytes cut(LteBytes b, size_t drop) {
  b.erase(b.end() - static_cast<std::ptrdiff_t>(std::min(drop, b.size())), b.end());
  return b;
}

// A record at `time` whose two frames have `between` in between.
LteBytes strays(uint32_t time, const LteBytes& between) {
  return lteRecord(time, cat({lteFrame(60, 1), between, lteFrame(60, 2)}));
}

TEST(LteWalker, PicksTheRecordAndItsFramesWithinBounds) {
  const LteBytes three = lteFrames(3, 60);  // 3 frames of 68 bytes
  LteBytes lying = lteFrames(3, 60);
  lying[2 * 68 + kLteFrameLengthByte] = 200;  // the third says it runs past the record
  const LteBytes expired = lteRecord(F - 20000, lteFrames(10, 92));  // count 1000
  const LteBytes one = lteFile({lteRecord(F, three)});
  struct Row {
    const char* name;
    LteBytes file;
    uint32_t time;
    LteFit fit;
    size_t record, frames, lost = 0;
    bool cut = false;
  };
  const Row rows[] = {
      {"window start", one, F, LteFit::Valid, kHeader, 3},
      {"window end", one, F + 14400, LteFit::Valid, kHeader, 3},
      {"one past the last", one, F + 14401, LteFit::AllExpired, 0, 0},
      {"one past, next one", lteFile({lteRecord(F, three), lteRecord(F + 14400, three)}), F + 14401, LteFit::Valid,
       kHeader + 27 + 204, 3},
      {"before the first", one, F - 1, LteFit::StartsInFuture, kHeader, 0},
      {"count 1000 is 1028 bytes", lteFile({expired, lteRecord(F, three)}), F, LteFit::Valid, kHeader + 1028, 3},
      {"no line feed: byte 19", lteFile({lteRecord(F, three)}, "ABCDEFGHIJKLMNOPQRS"), F, LteFit::Valid, 19, 3},
      {"one stray byte", lteFile({strays(F, {0})}), F, LteFit::Valid, kHeader, 2, 1},
      {"two stray bytes", lteFile({strays(F, {0, 0})}), F, LteFit::Valid, kHeader, 2, 2},
      // Hostile files: every answer stays inside the bytes.
      {"frame length lies", lteFile({lteRecord(F, lying)}), F, LteFit::Valid, kHeader, 2, 68, true},
      {"file ends in a frame", cut(one, 10), F, LteFit::Valid, kHeader, 2, 68, true},
      {"count past the end", lteFile({lteRecord(F, three, 5000)}), F, LteFit::Valid, kHeader, 3, 5000 - 204, true},
      {"expired count past the end", lteFile({lteRecord(F - 20000, three, 60000), lteRecord(F, three)}), F,
       LteFit::AllExpired, 0, 0},
      {"text part cut", lteFile({expired, cut(lteRecord(F, three), 210)}), F, LteFit::AllExpired, 0, 0},
      {"no frame marker", lteFile({lteRecord(F, LteBytes(100, 'x'))}), F, LteFit::NoFrames, kHeader, 0},
      {"empty frame part", lteFile({lteRecord(F, {}), lteRecord(F, three)}), F, LteFit::NoFrames, kHeader, 0},
      {"empty file", {}, F, LteFit::AllExpired, 0, 0},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    const LteChoice c = chooseLteRecord(r.file, r.time);
    EXPECT_EQ(c.fit, r.fit);
    EXPECT_EQ(c.record, r.fit == LteFit::AllExpired ? 0 : r.record);
    EXPECT_EQ(c.frames.size(), r.frames);
    EXPECT_EQ(c.lostBytes, r.lost);
    EXPECT_EQ(c.cut, r.cut);
    for (const LteFrame& f : c.frames) {
      ASSERT_LE(f.offset + f.length, r.file.size());
      EXPECT_EQ(r.file[f.offset], kVbiSync1);
      EXPECT_EQ(f.length, r.file[f.offset + 4] + 8u);
    }
  }
}

TEST(LteWalker, DecimalFieldsStopAtTheFirstNonDigitOrTheEnd) {
  const std::pair<std::string, uint32_t> rows[] = {
      {"  42 7", 42}, {"\t\r\n7x", 7}, {"", 0}, {"-5", 0}, {"x1", 0}, {"0012", 12}, {"99999999999", UINT32_MAX},
  };
  for (const auto& [text, want] : rows) {
    const LteBytes b(text.begin(), text.end());
    EXPECT_EQ(lteDecimal(b, 0), want) << text;
  }
  const LteBytes b{'1', '2', '3'};
  EXPECT_EQ(lteDecimal(std::span(b).first(2), 0), 12u) << "never past the data";
  EXPECT_EQ(lteDecimal(b, 7), 0u);
}

TEST(GpsTime, FromTheRmcDate) {
  const std::pair<RmcDateTime, uint32_t> rows[] = {
      {{2008, 2, 29, 0, 0, 0}, 888278400},
      {{2008, 3, 1, 0, 0, 0}, 888364800},
      {{2026, 1, 1, 0, 0, 0}, F - kLteTimeOffset},
      {{2009, 6, 15, 23, 59, 59}, 929145599},
      {{2008, 0, 1, 0, 0, 0}, 0},
      {{2008, 13, 1, 0, 0, 0}, 0},
      {{1979, 12, 31, 0, 0, 0}, 0},
  };
  for (const auto& [t, want] : rows) EXPECT_EQ(gpsSecondsFromRmcTime(t), want) << t.year << "-" << t.month;
}

// Message 120 as the receiver sends it, with `gps` in frame bytes 14 to 17.
std::string measurement(uint32_t gps) {
  std::string m = {'\x81', '\xFF', '\x78', 0, 10, 0, 0x12, 0x34, 1, 2, 3, 4, 5, 6};
  for (int i = 0; i < 4; ++i) m += static_cast<char>(gps >> (8 * i));
  return m;
}

// A consistent file of exactly `size` bytes (up to 10 KB): one record
// valid at F whose frames fill it.
LteBytes fileOfSize(size_t size, uint32_t time = F - 100) {
  const size_t body = size - kHeader - (size - kHeader - kLteShortText > 999 ? kLteLongText : kLteShortText);
  const size_t whole = body / 100;
  LteBytes frames = lteFrames(static_cast<int>(whole), 92);
  if (body % 100) frames = cat({frames, lteFrame(static_cast<uint8_t>(body % 100 - 8), 9)});
  return lteFile({lteRecord(time, frames)});
}

// What follows the chosen record is never read.
LteBytes padded(LteBytes file, size_t size) {
  file.resize(size, 0);
  return file;
}

TEST(EphemerisUpload, EachPathEndsWithItsOneLine) {
  const std::string root = makeTempDir("ferrolan-lte-");
  const RmcDateTime jan1{2026, 1, 1, 0, 0, 0}, none{};
  const CalendarTime dec31{2025, 12, 31}, jan1Hour{2026, 1, 1, 1}, jan2{2026, 1, 2}, jan3{2026, 1, 3};
  const LteBytes good = fileOfSize(1043);
  const LteBytes expired = lteRecord(F - 20000, lteFrames(10, 92));
  const uint32_t gps = F - kLteTimeOffset;
  const std::string done = " Ephemeris Sent, Upload  Ephemeris Completed!!!";
  const std::vector<std::string> sent10{"10" + done}, notValid{"Eph not valid!"}, incorrect{"LTE File incorrect!"},
      noTime{"Can't Get GPS Time!"};
  struct Scene {
    ProtocolMode mode;
    RmcDateTime rmc;      // what the last RMC left
    CalendarTime device;  // the device's UTC clock
  };
  const Scene nmea{ProtocolMode::Nmea, jan1, jan2}, vbi{ProtocolMode::Vbi, jan1, jan2};
  struct Row {
    const char* name;
    Scene at;
    std::optional<LteBytes> file;
    std::vector<std::string> log;
    size_t frames;
    uint32_t spentMs;      // of virtual time
    bool deviceClockUsed;  // it is in rmcDateTime afterwards
    std::string receiver = "";  // what the port delivers
    size_t unread = 0;
    void (*tweak)(test::ScriptedRig&) = nullptr;
  };
  const Row rows[] = {
      {"receiver date in the window", nmea, good, sent10, 10, 1000, false},
      {"no RMC date: the device clock at once", {ProtocolMode::Nmea, none, jan1Hour}, good, sent10, 10, 1000, true},
      {"no RMC date, device clock after all: no retry", {ProtocolMode::Nmea, none, jan2}, good, notValid, 0, 0, true},
      {"no RMC date, device clock before all", {ProtocolMode::Nmea, none, dec31}, good, {"GPS Time Not Match!"}, 0, 0,
       true},
      {"all expired twice: one retry", {ProtocolMode::Nmea, {2026, 1, 2}, jan3}, good, notValid, 0, 0, true},
      {"1023 bytes", nmea, fileOfSize(1023), incorrect, 0, 0, false},
      {"1024 bytes", nmea, fileOfSize(1024), sent10, 10, 1000, false},
      {"131072 bytes", nmea, padded(good, 131072), sent10, 10, 1000, false},
      {"131073 bytes", nmea, padded(good, 131073), incorrect, 0, 0, false},
      {"no file", nmea, std::nullopt, {"Open LTE file failed!"}, 0, 0, false},
      {"one stray byte", nmea, lteFile({expired, strays(F - 100, {0})}), {"2" + done}, 2, 200, false},
      {"two stray bytes", nmea, lteFile({expired, strays(F - 100, {0, 0})}),
       {"2 Ephemeris Sent,Upload  Ephemeris Completed!!!, But Lost Some!!!"}, 2, 200, false},
      {"a record without frames", nmea, lteFile({lteRecord(F, LteBytes(1100, ' '))}), incorrect, 0, 0, false},
      {"VBI: the time of message 120", vbi, good, sent10, 10, 1000, false,
       "\x81\x81\xFF\x81\xFF\x77" + measurement(gps)},
      {"VBI: a byte that breaks a match starts none", vbi, good, noTime, 0, 11 * 1010, false,
       "\x81" + measurement(gps)},
      {"VBI: silent receiver", vbi, good, noTime, 0, 11 * 1010, false},
      {"VBI: message 120 cut short", vbi, good, noTime, 0, 1010, false, measurement(gps).substr(0, 8)},
      {"VBI: a miss, then the retry reads again", vbi, good, sent10, 10, 1000, true,
       measurement(gps + 20000) + measurement(gps)},
      {"VBI with no RMC date: a miss is final", {ProtocolMode::Vbi, none, jan2}, good, notValid, 0, 0, true,
       measurement(gps + 20000) + measurement(gps), 18},
      {"write fails on the second frame", nmea, good, {"Send Data failed!"}, 1, 1100, false, "", 0,
       [](test::ScriptedRig& r) { r.port->failWritesAfter(150); }},
      {"no port", nmea, good, {"Send Data failed!"}, 0, 1000, false, "", 0,
       [](test::ScriptedRig& r) { r.ctx.session.portHandle.reset(); }},
      {"no memory: the box alone", nmea, good, {}, 0, 0, false, "", 0,
       [](test::ScriptedRig& r) { r.ctx.ephemeris.allocate = [](size_t) { return std::unique_ptr<uint8_t[]>(); }; }},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    removeTree(root);
    DeviceRootBuilder card(root);
    ASSERT_TRUE(card.makeFolders());
    if (row.file) {
      ASSERT_TRUE(card.writeCardFile("LTE.bin", std::string(row.file->begin(), row.file->end())));
    }
    test::ScriptedRig rig(root);
    rig.attach();
    rig.ctx.session.protocolMode = row.at.mode;
    rig.ctx.dataPath.fix.editRmcDateTime([&](RmcDateTime& r) { r = row.at.rmc; });
    rig.clock.setCalendar(row.at.device);
    rig.port->receive(row.receiver);
    if (row.tweak) row.tweak(rig);
    const uint32_t t0 = rig.clock.tickCount();

    const bool sent = row.log.size() == 1 && row.log[0].find(done.substr(1, 10)) != std::string::npos;
    EXPECT_EQ(uploadEphemeris(rig.ctx), sent);
    EXPECT_EQ(rig.clock.tickCount() - t0, row.spentMs);
    EXPECT_EQ(rig.log(), row.log);
    const CalendarTime& d = row.at.device;
    const RmcDateTime fromDevice{d.year, d.month, d.day, d.hour, d.minute, d.second};
    EXPECT_EQ(rig.ctx.dataPath.fix.rmcDateTime(), row.deviceClockUsed ? fromDevice : row.at.rmc);
    EXPECT_EQ(rig.port->pendingBytes(), row.unread);
    // Each frame in a write of its own, as the file holds it.
    const auto writes = rig.port->writeCalls();
    ASSERT_EQ(writes.size(), row.frames);
    if (row.frames) {
      const LteChoice c = chooseLteRecord(*row.file, rig.ctx.ephemeris.gpsSeconds);
      for (size_t i = 0; i < writes.size(); ++i)
        EXPECT_EQ(writes[i], LteBytes(row.file->begin() + c.frames[i].offset,
                                      row.file->begin() + c.frames[i].offset + c.frames[i].length));
    }
    std::string boxes;
    for (const auto& b : rig.host.boxes()) boxes += b.text + "|" + b.caption + (b.owner ? "|owned" : "") + ";";
    EXPECT_EQ(boxes, row.log.empty() ? "Can't allocate memory.|Error;" : "");
  }
  removeTree(root);
}

}  // namespace
}  // namespace ferrolan
