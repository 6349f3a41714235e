// The station's record of its updates in SQLite, read back through SQLite's
// own C API, with other station processes made by fork(); and its helpers,
// SHA-256 and the flock wrapper.

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include <grp.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "core/calendar.h"
#include "core/sha256.h"
#include "platform/file_lock.h"
#include "platform/process.h"
#include "station/update_record.h"

namespace ferrolan {
namespace {

namespace fs = std::filesystem;

struct TempDir {
  fs::path path = makeTempDir("ferrolan-station-");
  ~TempDir() { removeTree(path.string()); }
};

std::span<const uint8_t> bytesOf(const std::string& s) {
  return {reinterpret_cast<const uint8_t*>(s.data()), s.size()};
}

std::string fileHash(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return sha256Hex(bytesOf(std::string(std::istreambuf_iterator<char>(in), {})));
}

// Every row of `sql` as its cells joined by '|', NULL as "NULL", through a
// connection of its own.
std::vector<std::string> query(const fs::path& db, const char* sql) {
  std::vector<std::string> rows;
  sqlite3* c = nullptr;
  sqlite3_stmt* s = nullptr;
  if (sqlite3_open_v2(db.c_str(), &c, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK ||
      sqlite3_prepare_v2(c, sql, -1, &s, nullptr) != SQLITE_OK) {
    ADD_FAILURE() << sql << ": " << sqlite3_errmsg(c);
  } else {
    int rc;
    while ((rc = sqlite3_step(s)) == SQLITE_ROW) {
      std::string row;
      for (int i = 0; i < sqlite3_column_count(s); ++i) {
        const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(s, i));
        row += (i ? "|" : "") + std::string(text ? text : "NULL");
      }
      rows.push_back(row);
    }
    EXPECT_EQ(rc, SQLITE_DONE) << sqlite3_errmsg(c);
  }
  sqlite3_finalize(s);
  sqlite3_close(c);
  return rows;
}

// A forked process: `body` gets the end of a pipe to write to the test
// and one to read from it, which ends when the test calls release(). It
// must not touch the test's record objects (it leaves by _exit).
class Child {
 public:
  explicit Child(const std::function<int(int up, int down)>& body) {
    int up[2], down[2];
    if (::pipe(up) != 0 || ::pipe(down) != 0) return;
    pid_ = ::fork();
    if (pid_ == 0) {
      // Another child's release must not wait for this one's copy of it.
      for (int fd : testEnds()) ::close(fd);
      ::close(up[0]);
      ::close(down[1]);
      ::_exit(body(up[1], down[0]));
    }
    ::close(up[1]);
    ::close(down[0]);
    up_ = up[0];
    down_ = down[1];
    testEnds().insert(testEnds().end(), {up_, down_});
  }
  ~Child() { wait(); }
  // What the child writes up to its first newline (or its exit).
  std::string readLine() {
    std::string line;
    char c;
    while (up_ >= 0 && ::read(up_, &c, 1) == 1 && c != '\n') line += c;
    return line;
  }
  void release() { closeEnd(down_); }
  // The exit code; -1 when the child died of a signal or never was.
  int wait() {
    release();
    if (pid_ > 0) {
      int status = 0;
      while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
      }
      code_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
      pid_ = -1;
      closeEnd(up_);
    }
    return code_;
  }

  static void say(int fd, const std::string& text) {
    for (size_t at = 0; at < text.size();) {
      const ssize_t n = ::write(fd, text.data() + at, text.size() - at);
      if (n <= 0) return;
      at += static_cast<size_t>(n);
    }
  }
  static void awaitRelease(int down) {
    char c;
    while (::read(down, &c, 1) > 0) {
    }
  }

 private:
  static std::vector<int>& testEnds() {
    static std::vector<int> ends;  // the test's ends of every child's pipes
    return ends;
  }
  static void closeEnd(int& fd) {
    if (fd < 0) return;
    std::erase(testEnds(), fd);
    ::close(fd);
    fd = -1;
  }

  pid_t pid_ = -1;
  int up_ = -1, down_ = -1, code_ = -1;
};

// Root writes whatever the modes say; a read-only case needs someone else.
bool becomeNobody() {
  if (::geteuid() != 0) return true;
  return ::setgroups(0, nullptr) == 0 && ::setgid(65534) == 0 && ::setuid(65534) == 0;
}

UpdateOutcome outcome(const std::string& result) {
  UpdateOutcome o;
  o.ended = "2026-12-10T14:09:59Z";
  o.result = result;
  return o;
}

TEST(Sha256, Fips180VectorsWholeAndInUnevenPieces) {
  const std::string alphabet56 = "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq";
  const std::string alphabet112 =
      "abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmno"
      "ijklmnopjklmnopqklmnopqrlmnopqrsmnopqrstnopqrstu";
  struct Row {
    std::string input;
    std::vector<size_t> pieces;  // sizes fed in turn, round again; none: all at once
    const char* digest;
  } rows[] = {
      {"", {}, "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
      {"abc", {}, "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
      {"abc", {1}, "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
      {alphabet56, {}, "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
      {alphabet56, {55, 1}, "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
      {alphabet112, {63, 2}, "cf5b16a778af8380036ce59e7b0492370b249b11e8f07a51afac45037afee9d1"},
      {std::string(1000000, 'a'), {1, 63, 64, 65, 1000, 7, 4096, 0},
       "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
  };
  Sha256 hash;  // one object throughout: finish() starts it over
  for (const Row& r : rows) {
    if (r.pieces.empty()) {
      EXPECT_EQ(sha256Hex(bytesOf(r.input)), r.digest) << r.input.size() << " bytes";
      continue;
    }
    const auto all = bytesOf(r.input);
    for (size_t at = 0, i = 0; at < all.size(); ++i) {
      const size_t n = std::min(r.pieces[i % r.pieces.size()], all.size() - at);
      hash.update(all.subspan(at, n));
      at += n;
    }
    EXPECT_EQ(toHex(hash.finish()), r.digest) << r.input.size() << " bytes in pieces";
  }
}

TEST(FileLock, ExclusiveOnlyWhileNoOtherHoldsItAndGoneWithTheObject) {
  TempDir dir;
  const std::string path = (dir.path / "lock").string();
  std::string error;
  auto a = FileLock::open(path, error);
  auto b = FileLock::open(path, error);
  ASSERT_TRUE(a && b) << error;
  // Two open files of one process contend as two processes do. A change
  // between modes lets go first: a failed tryExclusive leaves no lock.
  struct Step {
    FileLock* who;
    bool (FileLock::*op)();
    bool expect;
  } steps[] = {
      {a.get(), &FileLock::tryExclusive, true},  {b.get(), &FileLock::tryShared, false},
      {a.get(), &FileLock::shared, true},        {b.get(), &FileLock::tryShared, true},
      {a.get(), &FileLock::tryExclusive, false}, {b.get(), &FileLock::tryExclusive, true},
      {a.get(), &FileLock::tryShared, false},
  };
  for (size_t i = 0; i < std::size(steps); ++i) {
    EXPECT_EQ((steps[i].who->*steps[i].op)(), steps[i].expect) << "step " << i;
  }
  auto c = FileLock::open(path, error);
  ASSERT_TRUE(c) << error;
  EXPECT_FALSE(c->tryShared());
  b.reset();
  EXPECT_TRUE(c->tryExclusive());

  error.clear();
  EXPECT_FALSE(FileLock::open((dir.path / "missing" / "lock").string(), error));
  EXPECT_NE(error.find("missing/lock"), std::string::npos) << error;
}

TEST(UpdateRecord, RoundTripKeepsTheSchemaTheNullsAndTheTypes) {
  TempDir dir;
  const fs::path db = dir.path / "station.db";
  std::string error;
  auto record = UpdateRecord::open(db.string(), error);
  ASSERT_TRUE(record) << error;
  EXPECT_EQ(record->markedInterrupted(), 0);
  const std::string started = isoUtc(civilFromUnix(unixFromCivil(CalendarTime{2026, 12, 10, 14, 3, 7})));
  EXPECT_EQ(started, "2026-12-10T14:03:07Z");
  const int64_t full = record->begin("/dev/ttyUSB0", started, error);
  const int64_t failed = record->begin("/dev/ttyUSB1", started, error);
  const int64_t running = record->begin("/dev/ttyUSB2", started, error);
  ASSERT_TRUE(full > 0 && failed == full + 1 && running == failed + 1) << error;

  UpdateOutcome ok = outcome("OK");
  ok.version = "2.3.1";
  ok.file = "fw/GSD4e_2.3.1.bin";
  ok.fileBytes = 524288;
  ok.fileSha256 = std::string(64, 'f');
  ok.bytesSent = 5000000000;  // past 32 bits
  UpdateOutcome fail = outcome("FAIL");
  fail.failure = "no answer from the boot ROM";
  EXPECT_TRUE(record->finish(full, ok, error)) << error;
  EXPECT_TRUE(record->finish(failed, fail, error)) << error;

  // Refused, and nothing written: no such row, and ends that are no result.
  struct Bad {
    int64_t id;
    const char* result;
    const char* says;
  } bads[] = {{running + 1, "OK", "no update"}, {running, "running", "cannot end"}, {running, "ok", "cannot end"}};
  for (const Bad& b : bads) {
    error.clear();
    EXPECT_FALSE(record->finish(b.id, outcome(b.result), error)) << b.result;
    EXPECT_NE(error.find(b.says), std::string::npos) << error;
  }

  EXPECT_EQ(query(db, "SELECT sql FROM sqlite_master"),
            std::vector<std::string>{
                "CREATE TABLE updates(id INTEGER PRIMARY KEY, port TEXT NOT NULL, started TEXT NOT NULL, "
                "ended TEXT, version TEXT, file TEXT, file_bytes INTEGER, file_sha256 TEXT, result TEXT NOT NULL, "
                "failure TEXT, bytes_sent INTEGER)"});
  EXPECT_EQ(query(db, "PRAGMA journal_mode"), std::vector<std::string>{"wal"});
  const std::string sha = std::string(64, 'f');
  EXPECT_EQ(query(db, "SELECT *, typeof(file_bytes), typeof(bytes_sent) FROM updates ORDER BY id"),
            (std::vector<std::string>{
                "1|/dev/ttyUSB0|2026-12-10T14:03:07Z|2026-12-10T14:09:59Z|2.3.1|fw/GSD4e_2.3.1.bin|524288|" + sha +
                    "|OK|NULL|5000000000|integer|integer",
                "2|/dev/ttyUSB1|2026-12-10T14:03:07Z|2026-12-10T14:09:59Z|NULL|NULL|NULL|NULL|FAIL|"
                "no answer from the boot ROM|NULL|null|null",
                "3|/dev/ttyUSB2|2026-12-10T14:03:07Z|NULL|NULL|NULL|NULL|NULL|running|NULL|NULL|null|null",
            }));
}

TEST(UpdateRecord, ReportsAwkwardTextAsCsvAndJson) {
  TempDir dir;
  std::string error, csv, json;
  auto record = UpdateRecord::open((dir.path / "station.db").string(), error);
  ASSERT_TRUE(record) << error;
  ASSERT_TRUE(record->report(ReportFormat::Csv, csv, error)) << error;
  ASSERT_TRUE(record->report(ReportFormat::Json, json, error)) << error;
  const std::string header =
      "id,port,started,ended,version,file,file_bytes,file_sha256,result,failure,bytes_sent\r\n";
  EXPECT_EQ(csv, header);
  EXPECT_EQ(json, "[]\n");

  const int64_t a = record->begin("/dev/ttyS0", "2026-12-10T14:03:07Z", error);
  const int64_t b = record->begin("COM \"3\", left", "2026-12-10T14:03:08Z", error);
  record->begin("ttyÜ€", "2026-12-10T14:03:09Z", error);
  ASSERT_GT(a, 0) << error;
  UpdateOutcome o = outcome("FAIL");
  o.failure = "line one\r\nline two, \"quoted\"\t\\ \x01 Grüße \xFF";
  o.version = "";
  o.fileBytes = 0;
  o.bytesSent = -1;
  ASSERT_TRUE(record->finish(a, o, error)) << error;
  ASSERT_TRUE(record->finish(b, outcome("interrupted"), error)) << error;

  ASSERT_TRUE(record->report(ReportFormat::Csv, csv, error)) << error;
  ASSERT_TRUE(record->report(ReportFormat::Json, json, error)) << error;
  EXPECT_EQ(csv, header +
                     "1,/dev/ttyS0,2026-12-10T14:03:07Z,2026-12-10T14:09:59Z,\"\",,0,,FAIL,"
                     "\"line one\r\nline two, \"\"quoted\"\"\t\\ \x01 Grüße \xFF\",-1\r\n"
                     "2,\"COM \"\"3\"\", left\",2026-12-10T14:03:08Z,2026-12-10T14:09:59Z,,,,,interrupted,,\r\n"
                     "3,ttyÜ€,2026-12-10T14:03:09Z,,,,,,running,,\r\n");
  EXPECT_EQ(json,
            "[\n"
            "  {\"id\": 1, \"port\": \"/dev/ttyS0\", \"started\": \"2026-12-10T14:03:07Z\", "
            "\"ended\": \"2026-12-10T14:09:59Z\", \"version\": \"\", \"file\": null, \"file_bytes\": 0, "
            "\"file_sha256\": null, \"result\": \"FAIL\", "
            "\"failure\": \"line one\\r\\nline two, \\\"quoted\\\"\\t\\\\ \\u0001 Grüße \xEF\xBF\xBD\", "
            "\"bytes_sent\": -1},\n"
            "  {\"id\": 2, \"port\": \"COM \\\"3\\\", left\", \"started\": \"2026-12-10T14:03:08Z\", "
            "\"ended\": \"2026-12-10T14:09:59Z\", \"version\": null, \"file\": null, \"file_bytes\": null, "
            "\"file_sha256\": null, \"result\": \"interrupted\", \"failure\": null, \"bytes_sent\": null},\n"
            "  {\"id\": 3, \"port\": \"ttyÜ€\", \"started\": \"2026-12-10T14:03:09Z\", \"ended\": null, "
            "\"version\": null, \"file\": null, \"file_bytes\": null, \"file_sha256\": null, "
            "\"result\": \"running\", \"failure\": null, \"bytes_sent\": null}\n"
            "]\n");
}

TEST(UpdateRecord, RunningRowsAreMarkedInterruptedOnlyWhenNoOtherStationIsAlive) {
  TempDir dir;
  const std::string db = (dir.path / "station.db").string();
  std::string error;
  {
    auto record = UpdateRecord::open(db, error);
    ASSERT_TRUE(record) << error;
    ASSERT_EQ(record->begin("left-over", "2026-12-10T14:00:00Z", error), 1) << error;
  }
  // Another station: alone, it marks the row left over, then runs one of
  // its own and lives until released.
  Child station([&](int up, int down) {
    std::string e;
    auto record = UpdateRecord::open(db, e);
    if (!record) {
      Child::say(up, e + "\n");
      return 1;
    }
    const int64_t id = record->begin("alive", "2026-12-10T14:01:00Z", e);
    Child::say(up, std::to_string(record->markedInterrupted()) + " " + std::to_string(id) + "\n");
    Child::awaitRelease(down);
    return 0;  // gone without finishing: as if it died
  });
  ASSERT_EQ(station.readLine(), "1 2");
  {
    auto record = UpdateRecord::open(db, error);
    ASSERT_TRUE(record) << error;
    EXPECT_EQ(record->markedInterrupted(), 0);
  }
  EXPECT_EQ(query(db, "SELECT id, result FROM updates"), (std::vector<std::string>{"1|interrupted", "2|running"}));
  EXPECT_EQ(station.wait(), 0);
  auto record = UpdateRecord::open(db, error);
  ASSERT_TRUE(record) << error;
  EXPECT_EQ(record->markedInterrupted(), 1);
  EXPECT_EQ(query(db, "SELECT id, result, ended FROM updates"),
            (std::vector<std::string>{"1|interrupted|NULL", "2|interrupted|NULL"}));
}

TEST(UpdateRecord, TwoStationsOfTwoThreadsEachWritingAtOnceLoseNoRow) {
  TempDir dir;
  const std::string db = (dir.path / "station.db").string();
  auto station = [&](int name) {
    return [&, name](int up, int down) {
      Child::awaitRelease(down);  // both start together, on a file neither has made yet
      std::string e;
      auto record = UpdateRecord::open(db, e);
      if (!record) {
      Child::say(up, e + "\n");
      return 1;
    }
      std::atomic<int> failures = 0;
      auto work = [&](int thread) {
        for (int i = 0; i < 25; ++i) {
          std::string te;
          const std::string port = "p" + std::to_string(name) + "-" + std::to_string(thread) + "-" + std::to_string(i);
          UpdateOutcome o = outcome("OK");
          o.bytesSent = i;
          const int64_t id = record->begin(port, "2026-12-10T14:00:00Z", te);
          if (id < 0 || !record->finish(id, o, te)) {
            Child::say(up, te + "\n");
            ++failures;
          }
        }
      };
      std::thread other(work, 1);
      work(0);
      other.join();
      return failures == 0 ? 0 : 1;
    };
  };
  Child first(station(1)), second(station(2));
  first.release();
  second.release();
  EXPECT_EQ(first.wait(), 0) << first.readLine();
  EXPECT_EQ(second.wait(), 0) << second.readLine();
  EXPECT_EQ(query(db, "SELECT count(*), count(DISTINCT port), sum(bytes_sent), max(id) FROM updates "
                      "WHERE result = 'OK' AND ended IS NOT NULL"),
            std::vector<std::string>{"100|100|1200|100"});
}

TEST(UpdateRecord, AFileThatCannotBeWrittenAnswersFalseAndStaysAsItWas) {
  TempDir dir;
  fs::permissions(dir.path, fs::perms::owner_all | fs::perms::group_exec | fs::perms::others_exec);
  std::string error;
  // Only the file's mode in the way, then only its folder's.
  struct Case {
    const char* name;
    fs::perms file, folder;
  } cases[] = {
      {"read-only file", fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read, fs::perms::all},
      {"read-only folder", fs::perms::all & ~fs::perms::owner_exec & ~fs::perms::group_exec & ~fs::perms::others_exec,
       fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read | fs::perms::group_exec |
           fs::perms::others_read | fs::perms::others_exec},
  };
  for (const Case& c : cases) {
    const fs::path folder = dir.path / c.name;
    fs::create_directory(folder);
    const std::string db = (folder / "station.db").string();
    {
      auto record = UpdateRecord::open(db, error);
      ASSERT_TRUE(record) << error;
      ASSERT_TRUE(record->finish(record->begin("/dev/ttyS0", "2026-12-10T14:00:00Z", error), outcome("OK"), error))
          << error;
    }
    fs::permissions(db, c.file);
    fs::permissions(folder, c.folder);
    const std::string before = fileHash(db);
    Child station([&](int up, int) {
      std::string e;
      if (!becomeNobody()) return 2;
      auto record = UpdateRecord::open(db, e);
      Child::say(up, (record ? "opened" : e) + "\n");
      return 0;
    });
    const std::string said = station.readLine();
    EXPECT_EQ(station.wait(), 0) << c.name;
    EXPECT_NE(said.find("attempt to write a readonly database"), std::string::npos) << c.name << ": " << said;
    EXPECT_EQ(fileHash(db), before) << c.name;
    fs::permissions(folder, fs::perms::all);
  }

  // A full disk, as a limit on the size of any file this process writes:
  // the write that would pass it fails as a full disk's does.
  const std::string db = (dir.path / "full.db").string();
  Child station([&](int up, int) {
    std::string e;
    auto record = UpdateRecord::open(db, e);
    if (!record) {
      Child::say(up, e + "\n");
      return 1;
    }
    ::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{64 * 1024, 64 * 1024};
    if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) return 2;
    int written = 0;
    while (written < 1000 && record->begin(std::string(500, 'p'), "2026-12-10T14:00:00Z", e) > 0) ++written;
    Child::say(up, std::to_string(written) + " " + e + "\n");
    return 0;
  });
  const std::string said = station.readLine();
  ASSERT_EQ(station.wait(), 0) << said;
  const int written = std::atoi(said.c_str());
  EXPECT_GT(written, 0) << said;
  EXPECT_LT(written, 1000) << said;
  EXPECT_NE(said.find("disk"), std::string::npos) << said;
  EXPECT_EQ(query(db, "PRAGMA integrity_check"), std::vector<std::string>{"ok"});
  EXPECT_EQ(query(db, "SELECT count(*) FROM updates"), std::vector<std::string>{std::to_string(written)});
}

}  // namespace
}  // namespace ferrolan
