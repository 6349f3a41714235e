// `ferrolan --station` against several ferrolan-sim at once, each on its
// own pseudo-terminal; the record read back with SQLite.

#include <signal.h>
#include <sqlite3.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <memory>

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
  if (sqlite3_open_v2(db.c_str(), &h, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
    ADD_FAILURE() << "cannot open " << db;
    sqlite3_close(h);
    return rows;
  }
  sqlite3_stmt* st = nullptr;
  EXPECT_EQ(sqlite3_prepare_v2(h, "SELECT * FROM updates ORDER BY id", -1, &st, nullptr), SQLITE_OK);
  while (st && sqlite3_step(st) == SQLITE_ROW) {
    Row r;
    for (int i = 0; i < sqlite3_column_count(st); ++i) {
      const auto* t = sqlite3_column_text(st, i);
      r.cols[sqlite3_column_name(st, i)] = t ? reinterpret_cast<const char*>(t) : "NULL";
    }
    rows.push_back(std::move(r));
  }
  sqlite3_finalize(st);
  sqlite3_close(h);
  return rows;
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
    std::vector<std::string> argv = {FERROLAN_SIM_PATH, "--link", port(r.name), "--store", store(r.name), "--no-pacing"};
    argv.insert(argv.end(), r.flags.begin(), r.flags.end());
    sims.push_back(std::make_unique<ChildProcess>());
    ChildProcess& sim = *sims.back();
    EXPECT_TRUE(sim.start(argv));
    std::string line;
    EXPECT_TRUE(sim.readLine(line, 10000)) << r.name;
    return sim;
  }
  struct Run {
    int exitCode = -1;
    std::vector<std::string> lines;
    std::string line(const std::string& port) const {
      for (const std::string& l : lines)
        if (l.rfind(port + " ", 0) == 0) return l;
      return {};
    }
  };
  // Runs the station to its end; `during` may act on it while it runs.
  Run station(std::vector<std::string> args, const std::function<void(ChildProcess&, Run&)>& during = {}) {
    std::vector<std::string> argv = {FERROLAN_PROGRAM_PATH, "--station", "--root", root.string()};
    argv.insert(argv.end(), args.begin(), args.end());
    ChildProcess p;
    Run r;
    if (!p.start(argv)) return r;
    if (during) during(p, r);
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

TEST_F(StationTest, SixReceiversEachEndAloneAndAreRecorded) {
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
      {{"e", {}}, "FAIL", "NULL", nullptr, "COM port open Failed!  ("},
      {{"f", {"--version-major", "3", "--hang-up-at-block", "40"}}, "FAIL", "3.17", nullptr, ""},
  };
  std::vector<std::string> ports;
  for (const auto& row : rows) {
    if (row.rx.name != "e") startSim(row.rx);
    ports.push_back(port(row.rx.name));
  }
  std::vector<std::string> args = {"--db", db()};
  args.insert(args.end(), ports.begin(), ports.end());
  const Run run = station(args);
  EXPECT_EQ(run.exitCode, 1);
  const std::vector<Row> got = readRows(db());
  ASSERT_EQ(got.size(), std::size(rows));
  for (const auto& row : rows) {
    SCOPED_TRACE(row.rx.name);
    const std::string p = port(row.rx.name);
    const auto it = std::find_if(got.begin(), got.end(), [&](const Row& r) { return r["port"] == p; });
    ASSERT_NE(it, got.end());
    const Row& r = *it;
    EXPECT_EQ(r["result"], row.result);
    EXPECT_EQ(r["version"], row.version);
    EXPECT_NE(r["ended"], "NULL");
    EXPECT_EQ(run.line(p).rfind(p + " " + row.result + " ", 0), 0u) << run.line(p);
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
  }
  // Cut mid-transfer: some of the file went, not all of it.
  const auto cut = std::find_if(got.begin(), got.end(), [&](const Row& r) { return r["port"] == port("f"); });
  ASSERT_NE(cut, got.end());
  EXPECT_GT(std::stoll((*cut)["bytes_sent"]), 0);
  EXPECT_LT(std::stoll((*cut)["bytes_sent"]), static_cast<long long>(kP1Size));
}

}  // namespace
}  // namespace ferrolan
