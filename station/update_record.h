#pragma once
// The station's record of its firmware updates: one SQLite file that every
// station process on the line writes at once, one row per update run.
//
//   updates(id INTEGER PRIMARY KEY, port TEXT NOT NULL, started TEXT NOT NULL,
//           ended TEXT, version TEXT, file TEXT, file_bytes INTEGER,
//           file_sha256 TEXT, result TEXT NOT NULL, failure TEXT,
//           bytes_sent INTEGER)
//
// A run is a `running` row from begin() until finish() gives its result.
// A station that dies leaves its rows `running`; whoever opens the file
// next while no other station has it open marks them `interrupted`, with
// `ended` left NULL, since when the run stopped is not known. Each open
// record holds a shared flock on PATH-station.lock (a file of its own: an
// open and close of the database file itself would drop SQLite's fcntl
// locks) and asks for it exclusively first to learn whether it is alone.
//
// One connection behind one mutex: the station's threads may call every
// member at once. No member throws; failures answer false (or -1, or
// nullptr) with SQLite's message, and leave the file as it was.

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "platform/file_lock.h"

struct sqlite3;
struct sqlite3_stmt;

namespace ferrolan {

struct UpdateOutcome {
  std::string ended;   // ISO 8601 UTC, as isoUtc() writes it
  std::string result;  // OK, FAIL or interrupted
  std::optional<std::string> version, file, fileSha256, failure;
  std::optional<int64_t> fileBytes, bytesSent;
};

enum class ReportFormat { Csv, Json };

class UpdateRecord {
 public:
  // Creates the file and its table when missing.
  static std::unique_ptr<UpdateRecord> open(const std::string& path, std::string& error);
  ~UpdateRecord();
  UpdateRecord(const UpdateRecord&) = delete;
  UpdateRecord& operator=(const UpdateRecord&) = delete;

  // The rows this open found `running` with no other station alive, and
  // marked `interrupted`.
  int64_t markedInterrupted() const { return marked_; }

  // A new `running` row; its id, or -1 with `error`.
  int64_t begin(const std::string& port, const std::string& started, std::string& error);
  // The run's end into its row; NULL where the outcome has nothing.
  bool finish(int64_t id, const UpdateOutcome& outcome, std::string& error);

  // Every row by id. CSV (RFC 4180, CRLF line ends): a header of the column
  // names, fields quoted where they hold a comma, quote or line break,
  // NULL as an empty field and an empty text as "". JSON: an array of
  // objects, NULL as null, the integer columns as numbers.
  bool report(ReportFormat format, std::string& out, std::string& error);

 private:
  UpdateRecord() = default;
  bool prepare(const char* sql, sqlite3_stmt*& statement, std::string& error);
  bool run(const char* sql, std::string& error);
  std::string failed(const std::string& what) const;

  std::string path_;
  std::unique_ptr<FileLock> lock_;
  sqlite3* db_ = nullptr;
  sqlite3_stmt* insert_ = nullptr;
  sqlite3_stmt* update_ = nullptr;
  sqlite3_stmt* select_ = nullptr;
  std::mutex mutex_;
  int64_t marked_ = 0;
};

}  // namespace ferrolan
