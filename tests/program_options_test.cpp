// The command lines of ferrolan and ferrolan-sim: what a bad line says and
// the code it exits with, and what good lines set.
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "platform/line_speeds.h"
#include "shell/options.h"
#include "sim/options.h"

namespace ferrolan {
namespace {

struct BadLine {
  std::vector<std::string> args;
  std::string named;  // the message must name this
};

template <class Parse>
void expectRefused(Parse parse, const std::string& program, const std::vector<BadLine>& rows) {
  for (const BadLine& row : rows) {
    std::string shown;
    for (const std::string& a : row.args) shown += " '" + a + "'";
    SCOPED_TRACE(program + shown);
    const auto line = parse(row.args);
    ASSERT_TRUE(line.exit.has_value());
    EXPECT_EQ(line.exit->code, 2);
    EXPECT_EQ(line.exit->text.rfind(program + ": ", 0), 0u) << line.exit->text;
    EXPECT_NE(line.exit->text.find(row.named), std::string::npos) << line.exit->text;
  }
}

// The help line exits 0 and names every part; --version exits 0 with the
// program's name and version.
template <class Parse>
void expectHelpAndVersion(Parse parse, const std::string& program, const std::vector<std::string>& helpLine,
                          std::initializer_list<const char*> parts) {
  const auto help = parse(helpLine);
  ASSERT_TRUE(help.exit);
  EXPECT_EQ(help.exit->code, 0);
  for (const char* part : parts) EXPECT_NE(help.exit->text.find(part), std::string::npos) << part;
  const auto version = parse({"--version"});
  ASSERT_TRUE(version.exit);
  EXPECT_EQ(version.exit->code, 0);
  EXPECT_EQ(version.exit->text, program + " " + FERROLAN_VERSION + "\n");
}

TEST(ProgramOptions, BadLinesExitWithTwoNamingTheOption) {
  expectRefused(parseProgramOptions, "ferrolan", {
      {{"--frobnicate"}, "unknown option '--frobnicate'"}, {{"--console", "stray"}, "PORT requires --station"},
      {{"--watch", "/dev/ttyUSB0"}, "--watch requires --station"}, {{"--station", "--tool", "/dev/ttyUSB0"}, "--tool"},
      {{"--station", "--jobs", "0", "/dev/ttyUSB0"}, "--jobs"}, {{"--station"}, "--station needs a PORT"},
      {{"--station", "--report", "xml"}, "--report"}, {{"--root"}, "--root"},
      {{"--demo", "--platform-type"}, "--platform-type"}, {{"--tool", "--console", "--root"}, "--root"},
      {{"--console", "--replay", "a.nmea"}, "--replay requires --tool"},
      {{"--tool", "--speed", "2"}, "--speed requires --replay"},
      {{"--tool", "--demo", "--replay", "a.nmea"}, "excludes"}, {{"--tool", "--replay", ""}, "--replay"},
      {{"--tool", "--replay", "a.nmea", "--speed", "-1"}, "--speed"},
      {{"--tool", "--replay", "a.nmea", "--speed", "fast"}, "--speed"},
      {{"--tool", "--replay", "a.nmea", "--speed", "nan"}, "--speed"},
      {{"--tool", "--replay", "a.nmea", "--speed", "1001"}, "--speed"},
  });
  // The hint goes with every mistake in the line itself.
  EXPECT_NE(parseProgramOptions({"--x"}).exit->text.find("Try 'ferrolan --help'."), std::string::npos);
}

TEST(ProgramOptions, GoodLinesSetTheOptions) {
  const auto none = parseProgramOptions({});
  ASSERT_FALSE(none.exit);
  EXPECT_EQ(none.options.root, ".");
  EXPECT_FALSE(none.options.console || none.options.demo || none.options.tool || none.options.platformType);

  const auto all =
      parseProgramOptions({"--root", "/media/card", "--console", "--demo", "--platform-type", "PocketPC"});
  ASSERT_FALSE(all.exit);
  EXPECT_EQ(all.options.root, "/media/card");
  EXPECT_TRUE(all.options.console && all.options.demo && !all.options.tool);
  const auto scripted = parseProgramOptions({"--tool", "--console"});
  EXPECT_TRUE(!scripted.exit && scripted.options.tool && scripted.options.console);
  EXPECT_TRUE(!scripted.options.replay && scripted.options.speed == 1);
  for (const auto& [speed, want] : {std::pair{"0", 0.0}, {"0.5", 0.5}, {"1000", 1000.0}}) {
    const auto played = parseProgramOptions({"--tool", "--replay", "a.vbi", "--speed", speed});
    ASSERT_FALSE(played.exit) << played.exit->text;
    EXPECT_EQ(played.options.replay.value_or(""), "a.vbi");
    EXPECT_DOUBLE_EQ(played.options.speed, want);
  }
  EXPECT_EQ(all.options.platformType.value_or(""), "PocketPC");
  // A repeated option keeps its last value, as it always did.
  EXPECT_EQ(parseProgramOptions({"--root", "a", "--root", "b"}).options.root, "b");
  expectHelpAndVersion(parseProgramOptions, "ferrolan", {"--tool", "-h"},
                       {"usage: ferrolan [OPTIONS]", "--platform-type TEXT", "--version", "Ports: \"COMn:\"",
                        "page text|info|sky"});
}

TEST(SimOptions, BadLinesExitWithTwoNamingTheOption) {
  expectRefused(sim::parseOptions, "ferrolan-sim", {
      {{"--bogus"}, "unknown option '--bogus'"}, {{"--vbi", "extra"}, "unknown option 'extra'"}, {{"--link"}, "--link"},
      {{"--device", ""}, "--device"}, {{"--seed"}, "--seed"}, {{"--baud", "1200"}, "--baud"},
      {{"--baud", "9600x"}, "--baud"}, {{"--exit-after", "0"}, "--exit-after"},
      {{"--exit-after", "1e8"}, "--exit-after"}, {{"--seed", "1.5"}, "--seed"}, {{"--seed", "-1"}, "--seed"},
      {{"--ttff-cold", "4000000001"}, "--ttff-cold"}, {{"--nak-burst", "0"}, "--nak-burst"},
      {{"--nak-burst", "65"}, "--nak-burst"}, {{"--lat", "90.5"}, "--lat"}, {{"--lon", "-180.01"}, "--lon"},
      {{"--lat", "nan"}, "--lat"}, {{"--alt", "high"}, "--alt"}, {{"--utc", "315964799"}, "--utc"},
      {{"--start", "boot"}, "--start"}, {{"--generation", "piii"}, "--generation"}, {{"--fix", "4d"}, "--fix"},
      // A choice's number is not one of its names.
      {{"--start", "1"}, "--start"}, {{"--replay", "a.nmea", "--speed", "-0.5"}, "--speed"},
      {{"--replay", "a.nmea", "--speed", "1e9"}, "--speed"},
  });
}

TEST(SimOptions, GoodLinesSetTheOptions) {
  const auto line = sim::parseOptions({"--baud", "115200", "--exit-after", "0.5", "--start", "rom", "--generation",
                                       "pi", "--fix", "2d", "--lat", "-33.5", "--lon", "-70.25", "--alt", "-12",
                                       "--seed", "010", "--kernel-wait", "2", "--version-major", "123456",
                                       "--nak-burst", "64", "--utc", "315964800", "--no-pacing", "--no-kernel",
                                       "--no-z", "--chip", "EN29LV400", "--link", "/tmp/gps"});
  ASSERT_FALSE(line.exit) << line.exit->text;
  const sim::SimOptions& o = line.options;
  const sim::ReceiverConfig& r = o.receiver;
  EXPECT_EQ(r.baud, 115200u);
  EXPECT_DOUBLE_EQ(o.exitAfterSeconds, 0.5);
  EXPECT_EQ(r.start, sim::StartState::BootRom);
  EXPECT_EQ(r.generation, sim::Generation::PI);
  EXPECT_EQ(r.forcedFix, sim::FixKind::Fix2D);
  // Each value exact in binary: read, it is the same number.
  EXPECT_EQ(std::tuple(r.position.latitudeDeg, r.position.longitudeDeg, r.position.altitudeM),
            std::tuple(-33.5, -70.25, -12.0));
  EXPECT_EQ(r.seed, 10u);  // decimal, not octal
  EXPECT_EQ(std::tuple(r.kernel.announceMs, r.versionMajor, o.xmodem.nakBurst, r.startUnix),
            std::tuple(2000u, 23456, 64, 315964800));
  EXPECT_FALSE(o.line.pace || r.kernelInstalled || r.kernel.printsZ);
  EXPECT_EQ(std::tuple(r.flashChip, o.link), std::tuple("EN29LV400", "/tmp/gps"));

  // Every line speed of the receiver is taken, and nothing is changed unasked.
  for (const LineSpeed& s : kLineSpeeds)
    EXPECT_EQ(sim::parseOptions({"--baud", std::string(s.text)}).options.receiver.baud, s.baud) << s.text;
  const auto defaults = sim::parseOptions({});
  ASSERT_FALSE(defaults.exit);
  EXPECT_EQ(defaults.options.receiver.baud, sim::ReceiverConfig{}.baud);
  EXPECT_EQ(defaults.options.replaySpeed, 1);
  EXPECT_EQ(sim::parseOptions({"--replay", "a", "--speed", "2.5"}).options.replaySpeed, 2.5);
  EXPECT_EQ(sim::parseOptions({"--replay", "a", "--fast"}).options.replaySpeed, 0);
  EXPECT_FALSE(defaults.options.receiver.forcedFix.has_value());
  expectHelpAndVersion(sim::parseOptions, "ferrolan-sim", {"--help"},
                       {"usage: ferrolan-sim [OPTIONS]", "4800 9600 19200 38400 57600 115200 (9600)",
                        "Control commands", "While no program has the line open"});
}

}  // namespace
}  // namespace ferrolan
