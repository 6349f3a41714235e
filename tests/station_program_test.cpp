// `ferrolan --station` against several ferrolan-sim at once, each on its
// own pseudo-terminal; the record read back with SQLite.

#include <signal.h>
#include <sqlite3.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <thread>

#include <gtest/gtest.h>

#include "core/sha256.h"
#include "platform/device_root_builder.h"
#include "platform/process.h"
#include "shell/demo.h"
#include "tests/support/files.h"

namespace ferrolan {
using test::slurp;
namespace {

namespace fs = std::filesystem;

constexpr size_t kP1Size = 481280, kP2Size = 491520;

struct Row {
  std::map<std::string, std::string> cols;  // NULL as "NULL"
  const std::string& operator[](const std::string& c) const { return cols.at(c); }
};

std::vector<Row> readRows(const std::string& db) {
  std::vector<Row> rows;
  sqlite3* h = nullptr;
  auto add = [](void* out, int n, char** cells, char** names) {
    Row& r = static_cast<std::vector<Row>*>(out)->emplace_back();
    for (int i = 0; i < n; ++i) r.cols[names[i]] = cells[i] ? cells[i] : "NULL";
    return 0;
  };
  if (sqlite3_open_v2(db.c_str(), &h, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK)
    ADD_FAILURE() << "cannot open " << db;
  else
    EXPECT_EQ(sqlite3_exec(h, "SELECT * FROM updates ORDER BY id", add, &rows, nullptr), SQLITE_OK) << db;
  sqlite3_close(h);
  return rows;
}

// The row of that port; one of no columns when there is none.
const Row& rowOf(const std::vector<Row>& rows, const std::string& port) {
  static const Row none;
  const auto it = std::find_if(rows.begin(), rows.end(), [&](const Row& r) { return r["port"] == port; });
  return it == rows.end() ? none : *it;
}

struct Receiver {
  std::string name;                // its link under root/ports
  std::vector<std::string> flags;  // the simulator's
};

struct StationTest : ::testing::Test {
  fs::path root;
  std::vector<std::unique_ptr<ChildProcess>> sims;
  std::string p1, p2;

  void SetUp() override {
    root = makeTempDir("ferrolan-station-");
    ASSERT_TRUE(card().makeFolders());
    fs::create_directories(root / "ports");
    p1 = firmware("FW_P1.bin", kP1Size);
    p2 = firmware("FW_P2.bin", kP2Size);
    ASSERT_TRUE(card().writeAutoUpdateIni({"FW_P1.bin", "FW_P2.bin", "COM1", "9600"}));
  }
  void TearDown() override {
    for (auto& s : sims) s->stop();
    removeTree(root.string());
  }
  DeviceRootBuilder card() { return DeviceRootBuilder(root.string()); }
  std::string firmware(const std::string& name, size_t size) {
    std::string bytes = demoFirmware(size);
    bytes[0] = name[3];
    EXPECT_TRUE(card().writeCardFile(name, bytes));
    return bytes;
  }
  std::string port(const std::string& name) const { return (root / "ports" / name).string(); }
  std::string store(const std::string& name) const { return (root / ("store-" + name)).string(); }
  std::string db() const { return (root / "record.sqlite").string(); }
  ChildProcess& startSim(const Receiver& r) {
    fs::create_directories(store(r.name));
    std::vector<std::string> argv = {FERROLAN_SIM_PATH, "--link", port(r.name), "--store", store(r.name),
                                     "--no-pacing"};
    argv.insert(argv.end(), r.flags.begin(), r.flags.end());
    sims.push_back(std::make_unique<ChildProcess>());
    ChildProcess& sim = *sims.back();
    ChildOptions options;
    options.stdinPipe = true;  // its control commands
    EXPECT_TRUE(sim.start(argv, options));
    std::string line;
    EXPECT_TRUE(sim.readLine(line, 10000)) << r.name;
    return sim;
  }
  struct Run {
    int exitCode = -1;
    std::vector<std::string> lines;
    bool starts(const std::string& start) const {
      return std::any_of(lines.begin(), lines.end(), [&](const std::string& l) { return l.starts_with(start); });
    }
    bool shows(const std::string& part) const {
      return std::any_of(lines.begin(), lines.end(),
                         [&](const std::string& l) { return l.find(part) != std::string::npos; });
    }
  };
  // Runs the station to its end; `during` may act on it while it runs.
  // Standard error comes with standard output; `wrapper` runs before the
  // program (prlimit, say).
  Run station(std::vector<std::string> args, const std::function<void(ChildProcess&)>& during = {},
              std::vector<std::string> wrapper = {}) {
    std::vector<std::string> argv = wrapper;
    for (const char* a : {FERROLAN_PROGRAM_PATH, "--station", "--root"}) argv.push_back(a);
    argv.push_back(root.string());
    argv.insert(argv.end(), args.begin(), args.end());
    ChildProcess p;
    Run r;
    ChildOptions options;
    options.stderrToStdout = true;
    if (!p.start(argv, options)) return r;
    if (during) during(p);
    std::string line;
    // Bounded by the update's own limits: a few minutes at the very most.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(4);
    while (std::chrono::steady_clock::now() < deadline) {
      if (p.readLine(line, 500))
        r.lines.push_back(line);
      else if (!p.running())
        break;
    }
    while (p.readLine(line, 100)) r.lines.push_back(line);
    p.stop();
    r.exitCode = p.exitCode();
    return r;
  }
  static std::string withZeroFill(std::string file) {
    file.resize((file.size() + 1023) / 1024 * 1024, '\0');
    return file;
  }
  static std::string hex(const std::string& bytes) {
    return sha256Hex({reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()});
  }
};

// Two at version 3, one at 5, one at 2, one refusing, one missing port, one
// hanging up mid-transfer and one in a NAK storm: each ends by itself.
TEST_F(StationTest, EightReceiversEachEndAloneAndAreRecorded) {
  const struct {
    Receiver rx;
    const char* result;
    const char* version;  // "NULL" when none came
    const char* file;     // the firmware sent, or nullptr
    const char* failure;  // the start of the failure text
  } rows[] = {
      {{"a", {"--version-major", "3"}}, "OK", "3.17", "FW_P1.bin", nullptr},
      {{"b", {"--version-major", "3"}}, "OK", "3.17", "FW_P1.bin", nullptr},
      {{"c", {"--version-major", "5"}}, "OK", "5.17", "FW_P2.bin", nullptr},
      {{"d", {"--version-major", "3", "--refuse-update"}}, "FAIL", "3.17", nullptr, "Fail in Update Command"},
      {{"e", {}}, "FAIL", "NULL", nullptr, "COM port open Failed!   ("},
      {{"f", {"--version-major", "3", "--hang-up-at-block", "40"}}, "FAIL", "3.17", nullptr, ""},
      {{"g", {"--version-major", "2"}}, "OK", "2.17", "FW_P1.bin", nullptr},
      // Every block answered with NAKs: the sender gives up on it.
      {{"h", {"--version-major", "3"}}, "FAIL", "3.17", nullptr, "Power Off Device And Try Again!"},
  };
  std::vector<std::string> args = {"--db", db()};
  for (const auto& row : rows) {
    if (row.rx.name == "h") {
      std::string answer;
      ChildProcess& sim = startSim(row.rx);
      ASSERT_TRUE(sim.writeLine("fault nak-storm on") && sim.readLine(answer, 5000));
    } else if (row.rx.name != "e") {
      startSim(row.rx);
    }
    args.push_back(port(row.rx.name));
  }
  const Run run = station(args);
  EXPECT_EQ(run.exitCode, 1);
  const std::vector<Row> got = readRows(db());
  ASSERT_EQ(got.size(), std::size(rows));
  for (const auto& row : rows) {
    SCOPED_TRACE(row.rx.name);
    const std::string p = port(row.rx.name);
    const Row& r = rowOf(got, p);
    ASSERT_FALSE(r.cols.empty());
    EXPECT_EQ(r["result"], row.result);
    EXPECT_EQ(r["version"], row.version);
    EXPECT_NE(r["ended"], "NULL");
    EXPECT_TRUE(run.starts(p + " " + row.result + " ")) << ::testing::PrintToString(run.lines);
    if (row.file) {
      const std::string& sent = std::string(row.file) == "FW_P1.bin" ? p1 : p2;
      EXPECT_EQ(r["file"], "\\SDMMC\\" + std::string(row.file));
      EXPECT_EQ(r["file_bytes"], std::to_string(sent.size()));
      EXPECT_EQ(r["bytes_sent"], std::to_string(sent.size()));
      EXPECT_EQ(r["file_sha256"], hex(sent));
      EXPECT_EQ(r["failure"], "NULL");
      EXPECT_EQ(slurp(fs::path(store(row.rx.name)) / "1-firmware.bin"), withZeroFill(sent));
    } else {
      EXPECT_EQ(r["file_sha256"], "NULL");
      EXPECT_EQ(r["failure"].rfind(row.failure, 0), 0u) << r["failure"];
    }
    if (row.rx.name == "f") {  // cut mid-transfer: some of the file went, not all of it
      EXPECT_GT(std::stoll(r["bytes_sent"]), 0);
      EXPECT_LT(std::stoll(r["bytes_sent"]), static_cast<long long>(kP1Size));
    }
  }
}

// A port that another program holds, and a second name of a port already
// named, are refused alone; the others go on.
TEST_F(StationTest, PortsInUseOrNamedTwiceAreRefusedAlone) {
  startSim({"a", {"--version-major", "3"}});
  startSim({"held", {"--version-major", "3"}});
  fs::create_symlink(fs::read_symlink(port("a")), port("a-again"));
  const int held = ::open(port("held").c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  ASSERT_GE(held, 0);
  ASSERT_EQ(::flock(held, LOCK_EX | LOCK_NB), 0);
  const Run run = station({"--db", db(), port("a"), port("a-again"), port("held"), port("a")});
  ::close(held);
  EXPECT_EQ(run.exitCode, 1);
  const std::vector<Row> got = readRows(db());
  ASSERT_EQ(got.size(), 3u) << "one row per port, the repeated name once";
  const struct {
    std::string port, result, failure;
  } want[] = {{port("a"), "OK", "NULL"},
              {port("a-again"), "FAIL", "refused: the same device as " + port("a")},
              {port("held"), "FAIL", "COM port open Failed!   (" + port("held") + ": in use by another program)"}};
  for (const auto& w : want) {
    SCOPED_TRACE(w.port);
    const Row& r = rowOf(got, w.port);
    ASSERT_FALSE(r.cols.empty());
    EXPECT_EQ(r["result"], w.result);
    EXPECT_EQ(r["failure"], w.failure);
  }
}

// A pattern that matches nothing ends with 2 at once, recording nothing.
TEST_F(StationTest, NothingMatchedEndsWithTwo) {
  const Run run = station({"--db", db(), port("none*")});
  EXPECT_EQ(run.exitCode, 2);
  EXPECT_TRUE(run.starts("ferrolan: station: no port matched")) << ::testing::PrintToString(run.lines);
  EXPECT_TRUE(readRows(db()).empty());
}

// The record cannot be written: the update still runs, the failure to
// record is shown and the exit code is 1; what was recorded stays whole.
TEST_F(StationTest, ARecordThatCannotBeWrittenDoesNotStopTheUpdate) {
  startSim({"a", {"--version-major", "3"}});
  ASSERT_EQ(station({"--db", db(), port("a")}).exitCode, 0);
  const size_t before = readRows(db()).size();
  const struct {
    const char* name;
    std::string db;
    std::vector<std::string> wrapper;
    const char* shown;
  } rows[] = {
      {"a folder that does not exist", (root / "no" / "such.sqlite").string(), {}, "cannot record in"},
      // Writes past the size limit fail as on a full disk.
      {"a full disk", db(), {"prlimit", "--fsize=1", "--"}, "record"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    // An updated receiver waits for its reset: a fresh one each time.
    sims.back()->stop();
    fs::remove(port("a"));
    fs::remove(fs::path(store("a")) / "1-firmware.bin");
    startSim({"a", {"--version-major", "3"}});
    const Run run = station({"--db", row.db, port("a")}, {}, row.wrapper);
    EXPECT_EQ(run.exitCode, 1) << ::testing::PrintToString(run.lines);
    EXPECT_TRUE(run.shows(row.shown)) << ::testing::PrintToString(run.lines);
    EXPECT_TRUE(run.starts(port("a") + " OK "));
    EXPECT_EQ(slurp(fs::path(store("a")) / "1-firmware.bin"), withZeroFill(p1));
    EXPECT_EQ(readRows(db()).size(), before);
  }
}

// A signal ends the running updates as interrupted with the record whole;
// a station killed outright leaves a running row, which the next start
// marks interrupted.
TEST_F(StationTest, StoppedAndKilledStationsLeaveACompleteRecord) {
  const struct {
    int signal;
    int code;  // -1: killed, no exit code of its own
  } rows[] = {{SIGTERM, 143}, {SIGINT, 130}, {SIGKILL, -1}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.signal);
    for (auto& s : sims) s->stop();
    sims.clear();
    fs::remove(db());
    ChildProcess& sim = startSim({"a", {"--version-major", "3"}});
    const Run run = station({"--db", db(), port("a")}, [&](ChildProcess& p) {
      // Stopped once the receiver has left for its flash kernel.
      std::string state;
      for (int i = 0; i < 300 && state.find("mode=flash-kernel") == std::string::npos; ++i) {
        if (i) std::this_thread::sleep_for(std::chrono::milliseconds(100));
        sim.writeLine("state");
        while (sim.readLine(state, 2000) && state.rfind("state ", 0) != 0) {
        }
      }
      EXPECT_NE(state.find("mode=flash-kernel"), std::string::npos) << state;
      ::kill(p.pid(), row.signal);
    });
    const std::vector<Row> got = readRows(db());
    ASSERT_EQ(got.size(), 1u);
    if (row.code >= 0) {
      EXPECT_EQ(run.exitCode, row.code);
      EXPECT_EQ(got[0]["result"], "interrupted");
      EXPECT_NE(got[0]["ended"], "NULL");
    } else {
      EXPECT_EQ(got[0]["result"], "running");
      station({"--db", db(), port("missing")});
      const std::vector<Row> after = readRows(db());
      ASSERT_EQ(after.size(), 2u);
      EXPECT_EQ(after[0]["result"], "interrupted");
    }
  }
}

// Watching: a receiver plugged in is updated, again only once its port has
// gone and come back; a signal then ends the station.
TEST_F(StationTest, WatchingUpdatesWhatIsPluggedInOncePerPlugging) {
  ChildProcess station;
  ChildOptions options;
  options.stderrToStdout = true;
  ASSERT_TRUE(station.start({FERROLAN_PROGRAM_PATH, "--station", "--watch", "--root", root.string(), "--db", db(),
                             port("gps*")},
                            options));
  std::vector<std::string> lines;
  std::string l;
  // What the record holds tells a run that hung from one never started.
  const auto record = [&] {
    std::string all;
    for (const Row& r : readRows(db())) all += r["port"] + " " + r["result"] + " " + r["failure"] + "\n";
    return all;
  };
  for (size_t plug = 1; plug <= 2; ++plug) {
    SCOPED_TRACE(plug);
    startSim({"gps1", {"--version-major", "3"}});
    for (int i = 0; i < 240 && lines.size() < plug; ++i)
      if (station.readLine(l, 500)) lines.push_back(l);
    ASSERT_EQ(lines.size(), plug) << record();
    EXPECT_EQ(lines.back().rfind(port("gps1") + " OK ", 0), 0u) << lines.back();
    sims.back()->stop();
    fs::remove(port("gps1"));
  }
  ::kill(station.pid(), SIGINT);
  EXPECT_TRUE(station.wait(20000));
  EXPECT_EQ(station.exitCode(), 130);
  EXPECT_EQ(lines.size(), 2u);
  EXPECT_EQ(readRows(db()).size(), 2u);
}

// The record as CSV and JSON, through the program.
TEST_F(StationTest, ReportPrintsTheRecord) {
  startSim({"a", {"--version-major", "3"}});
  ASSERT_EQ(station({"--db", db(), port("a")}).exitCode, 0);
  const Run csv = station({"--db", db(), "--report", "csv"});
  EXPECT_EQ(csv.exitCode, 0);
  ASSERT_EQ(csv.lines.size(), 2u);
  EXPECT_EQ(csv.lines[0], "id,port,started,ended,version,file,file_bytes,file_sha256,result,failure,bytes_sent\r");
  EXPECT_TRUE(csv.lines[1].ends_with('\r')) << "RFC 4180 line ends";
  EXPECT_NE(csv.lines[1].find(",OK,"), std::string::npos);
  const Run json = station({"--db", db(), "--report", "json"});
  EXPECT_EQ(json.exitCode, 0);
  EXPECT_TRUE(json.shows("\"file_sha256\": \"" + hex(p1) + "\"")) << ::testing::PrintToString(json.lines);
}

}  // namespace
}  // namespace ferrolan
