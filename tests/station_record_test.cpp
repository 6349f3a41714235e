// The station's record of its updates in SQLite, read back through SQLite's
// own C API, with other station processes made by fork(); and its helpers,
// SHA-256 and the flock wrapper.

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include <grp.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "core/calendar.h"
#include "core/sha256.h"
#include "platform/file_lock.h"
#include "platform/process.h"
#include "station/update_record.h"
#include "tests/support/files.h"

namespace ferrolan {
namespace {

namespace fs = std::filesystem;
using Rows = std::vector<std::string>;

struct TempDir {
  fs::path path = makeTempDir("ferrolan-station-");
  ~TempDir() { removeTree(path.string()); }
};

std::span<const uint8_t> bytesOf(const std::string& s) {
  return {reinterpret_cast<const uint8_t*>(s.data()), s.size()};
}

// Every row of `sql` as its cells joined by '|', NULL as "NULL", through a
// connection of its own.
Rows query(const fs::path& db, const char* sql) {
  Rows rows;
  sqlite3* c = nullptr;
  char* error = nullptr;
  auto add = [](void* out, int n, char** cells, char**) {
    std::string& row = static_cast<Rows*>(out)->emplace_back();
    for (int i = 0; i < n; ++i) row += (i ? "|" : "") + std::string(cells[i] ? cells[i] : "NULL");
    return 0;
  };
  if (sqlite3_open_v2(db.c_str(), &c, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK ||
      sqlite3_exec(c, sql, add, &rows, &error) != SQLITE_OK) {
    ADD_FAILURE() << sql << ": " << (error ? error : sqlite3_errmsg(c));
  }
  sqlite3_free(error);
  sqlite3_close(c);
  return rows;
}

// A forked process that talks with the test over a socket: it says lines
// up, and its reads end when the test calls release(). It must not touch
// the test's record objects (it leaves by _exit).
class Child {
 public:
  explicit Child(const std::function<int(int fd)>& body) {
    int ends[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, ends) != 0) return;
    if ((pid_ = ::fork()) == 0) {
      ::close(ends[0]);
      ::_exit(body(ends[1]));
    }
    ::close(ends[1]);
    fd_ = ends[0];
  }
  ~Child() {
    wait();
    if (fd_ >= 0) ::close(fd_);
  }
  // What the child writes up to its first newline (or its exit).
  std::string readLine() {
    std::string line;
    for (char c; fd_ >= 0 && ::read(fd_, &c, 1) == 1 && c != '\n';) line += c;
    return line;
  }
  // A shutdown reaches the child even while a later child holds a copy of this end.
  void release() {
    if (fd_ >= 0) ::shutdown(fd_, SHUT_WR);
  }
  // The exit code; -1 when the child died of a signal or never was.
  int wait() {
    release();
    if (pid_ > 0) {
      int status = 0;
      while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
      }
      code_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
      pid_ = -1;
    }
    return code_;
  }

  // A blocking write takes the whole of what is said, which is short.
  static bool say(int fd, const std::string& text) {
    return ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
  }
  static void awaitRelease(int fd) {
    for (char c; ::read(fd, &c, 1) > 0;) {
    }
  }
  // The record, or nullptr with the error said to the test.
  static std::unique_ptr<UpdateRecord> open(const std::string& db, int fd) {
    std::string e;
    auto record = UpdateRecord::open(db, e);
    if (!record) say(fd, e + "\n");
    return record;
  }

 private:
  pid_t pid_ = -1;
  int fd_ = -1, code_ = -1;
};

// Root writes whatever the modes say; a read-only case needs someone else.
bool becomeNobody() {
  return ::geteuid() != 0 || (::setgroups(0, nullptr) == 0 && ::setgid(65534) == 0 && ::setuid(65534) == 0);
}

constexpr const char* kEnded = "2026-12-10T14:09:59Z";
UpdateOutcome outcome(const std::string& result) {
  UpdateOutcome o;
  o.ended = kEnded;
  o.result = result;
  return o;
}

TEST(Sha256, Fips180VectorsWholeAndInUnevenPieces) {
  const std::string alphabet56 = "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq";
  const std::string alphabet112 =
      "abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmno"
      "ijklmnopjklmnopqklmnopqrlmnopqrsmnopqrstnopqrstu";
  const struct {
    std::string input;
    std::vector<size_t> pieces;  // sizes fed in turn, round again
    const char* digest;
  } rows[] = {
      {"", {}, "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
      {"abc", {1}, "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
      {alphabet56, {55, 1}, "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
      {alphabet112, {63, 2}, "cf5b16a778af8380036ce59e7b0492370b249b11e8f07a51afac45037afee9d1"},
      {std::string(1000000, 'a'), {1, 63, 64, 65, 1000, 7, 4096, 0},
       "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
  };
  Sha256 hash;  // one object throughout: finish() starts it over
  for (const auto& r : rows) {
    const auto all = bytesOf(r.input);
    EXPECT_EQ(sha256Hex(all), r.digest) << r.input.size() << " bytes";
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
  const struct {
    FileLock* who;
    bool (FileLock::*op)();
    bool expect;
  } steps[] = {
      {a.get(), &FileLock::tryExclusive, true},  {b.get(), &FileLock::tryShared, false},
      {a.get(), &FileLock::shared, true},        {b.get(), &FileLock::tryShared, true},
      {a.get(), &FileLock::tryExclusive, false}, {b.get(), &FileLock::tryExclusive, true},
      {a.get(), &FileLock::tryShared, false},
  };
  for (size_t i = 0; i < std::size(steps); ++i)
    EXPECT_EQ((steps[i].who->*steps[i].op)(), steps[i].expect) << "step " << i;
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
  const std::string sha(64, 'f');
  const UpdateOutcome ok{.ended = kEnded, .result = "OK", .version = "2.3.1", .file = "fw/GSD4e_2.3.1.bin",
                         .fileSha256 = sha, .failure = {}, .fileBytes = 524288,
                         .bytesSent = 5000000000};  // past 32 bits
  EXPECT_TRUE(record->finish(full, ok, error)) << error;
  UpdateOutcome fail = outcome("FAIL");
  fail.failure = "no answer from the boot ROM";
  EXPECT_TRUE(record->finish(failed, fail, error)) << error;

  // Refused, and nothing written: no such row, and ends that are no result.
  const struct {
    int64_t id;
    const char *result, *says;
  } bads[] = {{running + 1, "OK", "no update"}, {running, "running", "cannot end"}, {running, "ok", "cannot end"}};
  for (const auto& b : bads) {
    error.clear();
    EXPECT_FALSE(record->finish(b.id, outcome(b.result), error)) << b.result;
    EXPECT_NE(error.find(b.says), std::string::npos) << error;
  }

  EXPECT_EQ(query(db, "SELECT sql FROM sqlite_master"),
            Rows{"CREATE TABLE updates(id INTEGER PRIMARY KEY, port TEXT NOT NULL, started TEXT NOT NULL, "
                 "ended TEXT, version TEXT, file TEXT, file_bytes INTEGER, file_sha256 TEXT, result TEXT NOT NULL, "
                 "failure TEXT, bytes_sent INTEGER)"});
  EXPECT_EQ(query(db, "PRAGMA journal_mode"), Rows{"wal"});
  EXPECT_EQ(query(db, "SELECT *, typeof(file_bytes), typeof(bytes_sent) FROM updates ORDER BY id"),
            (Rows{"1|/dev/ttyUSB0|2026-12-10T14:03:07Z|2026-12-10T14:09:59Z|2.3.1|fw/GSD4e_2.3.1.bin|524288|" + sha +
                      "|OK|NULL|5000000000|integer|integer",
                  "2|/dev/ttyUSB1|2026-12-10T14:03:07Z|2026-12-10T14:09:59Z|NULL|NULL|NULL|NULL|FAIL|"
                  "no answer from the boot ROM|NULL|null|null",
                  "3|/dev/ttyUSB2|2026-12-10T14:03:07Z|NULL|NULL|NULL|NULL|NULL|running|NULL|NULL|null|null"}));
}

TEST(UpdateRecord, ReportsAwkwardTextAsCsvAndJson) {
  TempDir dir;
  std::string error, csv, json;
  auto record = UpdateRecord::open((dir.path / "station.db").string(), error);
  ASSERT_TRUE(record) << error;
  ASSERT_TRUE(record->report(ReportFormat::Csv, csv, error)) << error;
  ASSERT_TRUE(record->report(ReportFormat::Json, json, error)) << error;
  const std::string header = "id,port,started,ended,version,file,file_bytes,file_sha256,result,failure,bytes_sent\r\n";
  EXPECT_EQ(csv, header);
  EXPECT_EQ(json, "[]\n");

  const int64_t a = record->begin("/dev/ttyS0", "2026-12-10T14:03:07Z", error);
  const int64_t b = record->begin("COM \"3\", left", "2026-12-10T14:03:08Z", error);
  record->begin("ttyÜ€", "2026-12-10T14:03:09Z", error);
  ASSERT_GT(a, 0) << error;
  const UpdateOutcome o{.ended = kEnded, .result = "FAIL", .version = "", .file = {}, .fileSha256 = {},
                        .failure = "line one\r\nline two, \"quoted\"\t\\ \x01 Grüße \xFF", .fileBytes = 0,
                        .bytesSent = -1};
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
  Child station([&](int fd) {
    auto record = Child::open(db, fd);
    if (!record) return 1;
    std::string e;
    const int64_t id = record->begin("alive", "2026-12-10T14:01:00Z", e);
    Child::say(fd, std::to_string(record->markedInterrupted()) + " " + std::to_string(id) + "\n");
    Child::awaitRelease(fd);
    return 0;  // gone without finishing: as if it died
  });
  ASSERT_EQ(station.readLine(), "1 2");
  {
    auto record = UpdateRecord::open(db, error);
    ASSERT_TRUE(record) << error;
    EXPECT_EQ(record->markedInterrupted(), 0);
  }
  EXPECT_EQ(query(db, "SELECT id, result FROM updates"), (Rows{"1|interrupted", "2|running"}));
  EXPECT_EQ(station.wait(), 0);
  auto record = UpdateRecord::open(db, error);
  ASSERT_TRUE(record) << error;
  EXPECT_EQ(record->markedInterrupted(), 1);
  EXPECT_EQ(query(db, "SELECT id, result, ended FROM updates"), (Rows{"1|interrupted|NULL", "2|interrupted|NULL"}));
}

TEST(UpdateRecord, TwoStationsOfTwoThreadsEachWritingAtOnceLoseNoRow) {
  TempDir dir;
  const std::string db = (dir.path / "station.db").string();
  auto station = [&](int name) {
    return [&, name](int fd) {
      Child::awaitRelease(fd);  // both start together, on a file neither has made yet
      auto record = Child::open(db, fd);
      if (!record) return 1;
      std::atomic<int> failures = 0;
      auto work = [&](int thread) {
        for (int i = 0; i < 25; ++i) {
          std::string e;
          const std::string port = "p" + std::to_string(name) + "-" + std::to_string(thread) + "-" + std::to_string(i);
          UpdateOutcome o = outcome("OK");
          o.bytesSent = i;
          const int64_t id = record->begin(port, "2026-12-10T14:00:00Z", e);
          if (id < 0 || !record->finish(id, o, e)) {
            Child::say(fd, e + "\n");
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
            Rows{"100|100|1200|100"});
}

TEST(UpdateRecord, AFileThatCannotBeWrittenAnswersFalseAndStaysAsItWas) {
  TempDir dir;
  fs::permissions(dir.path, fs::perms{0711});
  std::string error;
  // Only the file's mode in the way, then only its folder's.
  const struct {
    const char* name;
    fs::perms file, folder;
  } cases[] = {{"read-only file", fs::perms{0444}, fs::perms{0777}},
               {"read-only folder", fs::perms{0666}, fs::perms{0555}}};
  for (const auto& c : cases) {
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
    const std::string before = sha256Hex(bytesOf(test::slurp(db)));
    Child station([&](int fd) {
      if (!becomeNobody()) return 2;
      if (Child::open(db, fd)) Child::say(fd, "opened\n");
      return 0;
    });
    const std::string said = station.readLine();
    EXPECT_EQ(station.wait(), 0) << c.name;
    EXPECT_NE(said.find("attempt to write a readonly database"), std::string::npos) << c.name << ": " << said;
    EXPECT_EQ(sha256Hex(bytesOf(test::slurp(db))), before) << c.name;
    fs::permissions(folder, fs::perms::all);
  }

  // A full disk, as a limit on the size of any file this process writes:
  // the write that would pass it fails as a full disk's does.
  const std::string db = (dir.path / "full.db").string();
  Child station([&](int fd) {
    auto record = Child::open(db, fd);
    if (!record) return 1;
    ::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{64 * 1024, 64 * 1024};
    if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) return 2;
    std::string e;
    int written = 0;
    while (written < 1000 && record->begin(std::string(500, 'p'), "2026-12-10T14:00:00Z", e) > 0) ++written;
    Child::say(fd, std::to_string(written) + " " + e + "\n");
    return 0;
  });
  const std::string said = station.readLine();
  ASSERT_EQ(station.wait(), 0) << said;
  const int written = std::atoi(said.c_str());
  EXPECT_GT(written, 0) << said;
  EXPECT_LT(written, 1000) << said;
  EXPECT_NE(said.find("disk"), std::string::npos) << said;
  EXPECT_EQ(query(db, "PRAGMA integrity_check"), Rows{"ok"});
  EXPECT_EQ(query(db, "SELECT count(*) FROM updates"), Rows{std::to_string(written)});
}

}  // namespace
}  // namespace ferrolan
