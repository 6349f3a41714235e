// ferrolan-portd as a program: its exit codes, and the whole chain with real
// peers: ferrolan-sim streaming VBI as the receiver, gpsd on the NMEA port
// keeping a 3D fix at the simulator's position, and the tool's side asking
// the receiver for its firmware version on the debug port meanwhile.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

#include "platform/process.h"
#include "platform/registry.h"
#include "platform/tty_port.h"
#include "tests/support/tool_console.h"
#include "tests/support/peers.h"

using namespace ferrolan;
namespace fs = std::filesystem;

namespace {

struct Portd {
  ChildProcess child;
  std::string nmea, debug;
  std::string said;  // its first line
  // Starts it and reads its ready line; false if another line or none came.
  bool start(const std::vector<std::string>& extra) {
    std::vector<std::string> argv = {FERROLAN_PORTD_PATH};
    argv.insert(argv.end(), extra.begin(), extra.end());
    ChildOptions o;
    o.stderrToStdout = true;
    if (!child.start(argv, o) || !child.readLine(said, 10000)) return false;
    said += "\n";
    char n[256] = {}, d[256] = {};
    return std::sscanf(said.c_str(), "nmea %255s debug %255s", n, d) == 2 && (nmea = n, debug = d, true);
  }
};

std::string simPath(ChildProcess& sim, std::vector<std::string> args) {
  args.insert(args.begin(), FERROLAN_SIM_PATH);
  ChildOptions o;
  o.stdinPipe = true;
  std::string path;
  if (!sim.start(args, o) || !sim.readLine(path, 10000)) return {};
  return path;
}

std::string findProgram(const char* name) {
  for (const char* dir : {"/usr/sbin", "/usr/bin", "/usr/local/sbin", "/usr/local/bin"})
    if (fs::exists(fs::path(dir) / name)) return (fs::path(dir) / name).string();
  return {};
}

// The number after "key": in a JSON report; NaN when absent.
double jsonNumber(const std::string& report, const std::string& key) {
  const size_t at = report.find("\"" + key + "\":");
  if (at == std::string::npos) return std::nan("");
  return std::strtod(report.c_str() + at + key.size() + 3, nullptr);
}

size_t count(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

// gpsd on a device, with a private socket and control socket (only this
// instance is ever stopped), and its reports read with gpspipe.
struct Gpsd {
  std::string gpsd = findProgram("gpsd"), gpspipe = findProgram("gpspipe");
  std::string port;
  ChildOptions quiet;
  ChildProcess daemon;
  bool installed() const { return !gpsd.empty() && !gpspipe.empty(); }
  bool start(const std::string& dir, const std::string& device, int salt) {
    port = std::to_string(20000 + (::getpid() + salt) % 20000);
    quiet.stderrFile = dir + "/gpsd.log";
    return daemon.start({gpsd, "-N", "-n", "-b", "-S", port, "-F", dir + "/gpsd.sock", device}, quiet);
  }
  // The reports, over a few tries while it comes up.
  std::string reports() {
    std::string all;
    for (int attempt = 0; attempt < 20 && count(all, "\"class\":\"TPV\"") < 3; ++attempt) {
      ChildProcess pipe;
      if (!pipe.start({gpspipe, "-w", "-n", "16", "localhost:" + port}, quiet)) break;
      std::string l;
      while (pipe.readLine(l, 10000)) all += l + "\n";
      pipe.wait(2000);
      if (count(all, "\"class\":\"TPV\"") < 3) usleep(500000);
    }
    return all;
  }
};

// TPV reports with a 3D fix within a metre of the position, and a sky.
void expectFixAndSky(const std::string& reports, double kLat, double kLon) {
  size_t fixes = 0, skies = 0;
  for (size_t at = 0, nl; (nl = reports.find('\n', at)) != std::string::npos; at = nl + 1) {
    const std::string r = reports.substr(at, nl - at);
    if (r.find("\"class\":\"TPV\"") != std::string::npos && jsonNumber(r, "mode") == 3) {
      ++fixes;
      const double north = (jsonNumber(r, "lat") - kLat) * 111320.0;
      const double east = (jsonNumber(r, "lon") - kLon) * 111320.0 * std::cos(kLat * M_PI / 180);
      EXPECT_LT(std::hypot(north, east), 1.0) << r;
      EXPECT_NEAR(jsonNumber(r, "altMSL"), 12.5, 1.0) << r;
    }
    if (r.find("\"class\":\"SKY\"") != std::string::npos && count(r, "\"PRN\":") > 0) {
      ++skies;
      EXPECT_GE(count(r, "\"used\":true"), 4u) << r;
    }
  }
  EXPECT_GE(fixes, 2u) << reports;
  EXPECT_GE(skies, 1u) << reports;
}

}  // namespace

TEST(PortdProgram, RefusesWhatItCannotServeWithItsDocumentedCodes) {
  ChildProcess sim;
  const std::string line = simPath(sim, {"--exit-after", "60"});
  ASSERT_FALSE(line.empty());
  Portd owner;  // holds the line, so a second driver finds it busy
  ASSERT_TRUE(owner.start({"--port", line}));
  const std::string root = makeTempDir("ferrolan-portd-");
  fs::create_directories(root + "/dev");
  fs::create_symlink(root + "/nowhere", root + "/dev/COM3");

  struct Row {
    std::vector<std::string> args;
    int code;
    std::string says;
  } rows[] = {
      {{"--port", root + "/dev/missing"}, 3, "no such device"},
      {{"--port", "COM3:", "--root", root}, 3, "no such device"},
      {{"--port", "LPT1"}, 3, "names no serial port"},
      {{"--port", line}, 4, "another program has it"},
      {{"--port", line, "--baud", "1234"}, 2, "1234"},
      {{}, 2, "--port"},
  };
  for (const Row& r : rows) {
    Portd p;
    ASSERT_FALSE(p.start(r.args));
    std::string said = p.said, l;
    while (p.child.readLine(l, 5000)) said += l + "\n";
    ASSERT_TRUE(p.child.wait(5000));
    EXPECT_EQ(p.child.exitCode(), r.code) << said;
    EXPECT_NE(said.find(r.says), std::string::npos) << said;
  }
  removeTree(root);
}

TEST(PortdWithGpsd, GpsdKeepsTheSimulatorsFixFromVbiWhileTheToolAsksForTheVersion) {
  Gpsd gpsd;
  FERROLAN_REQUIRE_PEER(gpsd.installed(), "gpsd or gpspipe");
  constexpr double kLat = -33.8567844, kLon = 151.2152967;
  ChildProcess sim;
  const std::string line =
      simPath(sim, {"--vbi", "--baud", "115200", "--lat", "-33.8567844", "--lon", "151.2152967", "--alt", "12.5"});
  ASSERT_FALSE(line.empty());
  const std::string dir = makeTempDir("ferrolan-portd-");
  Portd driver;
  ASSERT_TRUE(driver.start({"--port", line, "--baud", "115200", "--nmea-link", dir + "/nmea", "--debug-link",
                            dir + "/debug"}));
  EXPECT_EQ(fs::read_symlink(dir + "/nmea").string(), driver.nmea);
  EXPECT_EQ(fs::read_symlink(dir + "/debug").string(), driver.debug);

  ASSERT_TRUE(gpsd.start(dir, dir + "/nmea", 0));

  // The tool's side: to NMEA (the receiver answers the query only there),
  // then the version query, written as a terminal program writes.
  auto tool = TtyPort::open(driver.debug);
  ASSERT_TRUE(tool);
  LineSettings s;
  ASSERT_TRUE(tool->getLineSettings(s));
  ASSERT_TRUE(tool->setLineSettings(withReceiverLine(s, 115200)));
  ASSERT_TRUE(tool->setTimeouts(kReceiverTimeouts));

  const std::string reports = gpsd.reports();

  const std::string toNmea = "$PKRV11,1,1,2,2,0*03\r\n", query = "$PKRV14,8*0E\r\n";
  ASSERT_TRUE(tool->write(reinterpret_cast<const uint8_t*>(toNmea.data()), toNmea.size()));
  std::string heard;
  bool queried = false;
  for (int reads = 0; reads < 400 && heard.find("$PKRV100,") == std::string::npos; ++reads) {
    uint8_t buf[512];
    heard.append(reinterpret_cast<char*>(buf), tool->read(buf, sizeof buf));
    if (!queried && heard.find("$PKRV200,11") != std::string::npos) {
      ASSERT_TRUE(tool->write(reinterpret_cast<const uint8_t*>(query.data()), query.size()));
      queried = true;
    }
  }
  const size_t reply = heard.find("$PKRV100,");
  ASSERT_NE(reply, std::string::npos) << "no version reply on the debug port";
  EXPECT_EQ(heard.substr(reply, 22), "$PKRV100,FERROLAN-SIM,");
  tool->close();

  expectFixAndSky(reports, kLat, kLon);

  gpsd.daemon.stop();
  driver.child.stop();
  EXPECT_EQ(driver.child.exitCode(), 0);
  EXPECT_FALSE(fs::is_symlink(dir + "/nmea"));
  EXPECT_FALSE(fs::is_symlink(dir + "/debug"));
  sim.stop();
  removeTree(dir);
}

// The driver installed from the tool's Dual Port dialog: the device manager
// runs it on the simulator's line, gpsd reads its NMEA port while the tool
// works on the other, and it outlives the tool until it is gone for good.
TEST(PortdInstalled, TheDialogStartsTheDriverThatGpsdAndTheToolShare) {
  Gpsd gpsd;
  FERROLAN_REQUIRE_PEER(gpsd.installed(), "gpsd or gpspipe");
  constexpr double kLat = 47.3686498, kLon = 8.5391825;
  Tool t;
  ASSERT_TRUE(DeviceRootBuilder(t.root.string()).writeCardFile("nmea.dll", "library"));
  t.startSim({"--vbi", "--no-pacing", "--lat", "47.3686498", "--lon", "8.5391825", "--alt", "12.5"});
  t.start();
  const std::string active = "text dlg124:1107 Driver Active: NMEA: COM3:, VBI: COM4:";
  ASSERT_TRUE(t.steps({
      {"page info", "open info"},
      {"cmd 40028", "open dlg124"},
      {"set 1105 COM2:", "select dlg124:1105 1 COM2:"},
      {"set 1106 9600", "select dlg124:1106 1 9600"},
      {"click 1103", active},
      {"click 2", "close dlg124"},
  }));
  Registry registry((t.root / "registry.reg").string());
  uint32_t pid = 0;
  ASSERT_TRUE(registry.getDword("Drivers\\Active\\01", "Pid", pid));
  // A failure on the way must not leave the detached driver behind.
  struct Reaper {
    int pid;
    ~Reaper() {
      if (pid > 0) terminateProcess(pid);
    }
  } reaper{static_cast<int>(pid)};

  ASSERT_TRUE(gpsd.start(t.root.string(), (t.root / "dev" / "COM3").string(), 7));
  // The tool connects on the debug port, which asks for the VBI stream.
  ASSERT_TRUE(t.steps({
      {"cmd 40001", "open dlg104"},
      {"set 1002 COM4:", "select dlg104:1002 3 COM4:"},
      {"click 1000", "close dlg104"},
  }));
  // gpsd's fix comes from the VBI stream the tool asked for.
  expectFixAndSky(gpsd.reports(), kLat, kLon);
  // The way back to NMEA passes through the receiver's kernel; the
  // question waits for its sentences.
  t.send("cmd 40002");
  EXPECT_TRUE(t.simState("mode=firmware-nmea", 300));
  EXPECT_NE(t.untilPrefix("log $GPRMC,"), "");
  EXPECT_TRUE(t.steps({{"cmd 40010", "text info:1114 Current FW:3.17"}}));
  gpsd.daemon.stop();

  // The tool goes, the driver stays; the next run finds it active.
  t.send("quit");
  EXPECT_TRUE(t.until("exit 0"));
  EXPECT_TRUE(processAlive(static_cast<int>(pid)));
  t.program.wait(5000);
  t.start();
  ASSERT_TRUE(t.steps({{"page info", "open info"}, {"cmd 40028", active}, {"click 2", "close dlg124"}}));
  // Once it is gone, nothing claims it is active.
  ASSERT_TRUE(terminateProcess(static_cast<int>(pid)));
  reaper.pid = 0;
  for (int i = 0; i < 100 && processAlive(static_cast<int>(pid)); ++i) usleep(50000);
  const size_t before = t.out.size();
  ASSERT_TRUE(t.steps({{"cmd 40028", "open dlg124"}, {"click 2", "close dlg124"}}));
  EXPECT_EQ(std::find(t.out.begin() + static_cast<long>(before), t.out.end(), active), t.out.end());
  t.send("quit");
  EXPECT_TRUE(t.until("exit 0"));
  EXPECT_FALSE(Registry((t.root / "registry.reg").string()).keyExists("Drivers\\Active\\01"));
}
