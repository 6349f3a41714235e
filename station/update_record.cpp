#include "station/update_record.h"

#include <sqlite3.h>

#include <cinttypes>
#include <climits>

#include "core/text.h"

namespace ferrolan {

namespace {

// Long enough for a line of stations to take turns at a write on a slow
// disk; each holds the write lock for one short statement only.
constexpr int kBusyTimeoutMs = 10000;
constexpr int kJournalRetryMs = 10;

constexpr const char* kSchema =
    "CREATE TABLE IF NOT EXISTS updates(id INTEGER PRIMARY KEY, port TEXT NOT NULL, started TEXT NOT NULL, "
    "ended TEXT, version TEXT, file TEXT, file_bytes INTEGER, file_sha256 TEXT, result TEXT NOT NULL, "
    "failure TEXT, bytes_sent INTEGER)";

// A statement kept for reuse, made ready for the next call on every way out.
// reset() answers the error of the last step again, which was reported.
struct Rewind {
  sqlite3_stmt* statement;
  ~Rewind() {
    (void)sqlite3_reset(statement);
    (void)sqlite3_clear_bindings(statement);
  }
};

int bindText(sqlite3_stmt* s, int index, const std::string& text) {
  return sqlite3_bind_text64(s, index, text.data(), text.size(), SQLITE_TRANSIENT, SQLITE_UTF8);
}

int bindText(sqlite3_stmt* s, int index, const std::optional<std::string>& text) {
  return text ? bindText(s, index, *text) : sqlite3_bind_null(s, index);
}

int bindInteger(sqlite3_stmt* s, int index, const std::optional<int64_t>& value) {
  return value ? sqlite3_bind_int64(s, index, *value) : sqlite3_bind_null(s, index);
}

std::string columnText(sqlite3_stmt* s, int column) {
  const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(s, column));
  return text ? std::string(text, static_cast<size_t>(sqlite3_column_bytes(s, column))) : std::string();
}

std::string numberText(sqlite3_stmt* s, int column) {
  if (sqlite3_column_type(s, column) == SQLITE_INTEGER) {
    return format("%" PRId64, static_cast<int64_t>(sqlite3_column_int64(s, column)));
  }
  return format("%.17g", sqlite3_column_double(s, column));
}

void appendCsvField(std::string& out, sqlite3_stmt* s, int column) {
  const int type = sqlite3_column_type(s, column);
  if (type == SQLITE_NULL) return;
  if (type == SQLITE_INTEGER || type == SQLITE_FLOAT) {
    out += numberText(s, column);
    return;
  }
  const std::string text = columnText(s, column);
  if (!text.empty() && text.find_first_of(",\"\r\n") == std::string::npos) {
    out += text;
    return;
  }
  out += '"';
  for (char c : text) {
    if (c == '"') out += '"';
    out += c;
  }
  out += '"';
}

// Text that is not well-formed UTF-8 (the file is open to any writer) gets
// U+FFFD for each bad byte, so that the document stays JSON.
void appendJsonString(std::string& out, const std::string& text) {
  out += '"';
  for (size_t at = 0; at < text.size();) {
    const auto c = static_cast<unsigned char>(text[at]);
    if (c >= 0x80) {
      const size_t n = utf8SequenceLength(text, at);
      if (n == 0) {
        out += "\xEF\xBF\xBD";
        ++at;
      } else {
        out.append(text, at, n);
        at += n;
      }
      continue;
    }
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\b': out += "\\b"; break;
      case '\f': out += "\\f"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (c < 0x20) out += format("\\u%04x", c);
        else out += static_cast<char>(c);
    }
    ++at;
  }
  out += '"';
}

void appendJsonValue(std::string& out, sqlite3_stmt* s, int column) {
  switch (sqlite3_column_type(s, column)) {
    case SQLITE_NULL: out += "null"; break;
    case SQLITE_INTEGER:
    case SQLITE_FLOAT: out += numberText(s, column); break;
    default: appendJsonString(out, columnText(s, column));
  }
}

std::string columnName(sqlite3_stmt* s, int column) {
  const char* name = sqlite3_column_name(s, column);  // NULL only when out of memory
  return name ? name : "?";
}

bool knownResult(const std::string& result) {
  return result == "OK" || result == "FAIL" || result == "interrupted";
}

}  // namespace

std::string UpdateRecord::failed(const std::string& what) const {
  return path_ + ": " + what + ": " + sqlite3_errmsg(db_);
}

bool UpdateRecord::prepare(const char* sql, sqlite3_stmt*& statement, std::string& error) {
  if (sqlite3_prepare_v3(db_, sql, -1, SQLITE_PREPARE_PERSISTENT, &statement, nullptr) == SQLITE_OK) return true;
  error = failed("preparing a statement");
  return false;
}

bool UpdateRecord::run(const char* sql, std::string& error) {
  sqlite3_stmt* statement = nullptr;
  if (sqlite3_prepare_v2(db_, sql, -1, &statement, nullptr) != SQLITE_OK) {
    error = failed("preparing a statement");
    return false;
  }
  int rc;
  while ((rc = sqlite3_step(statement)) == SQLITE_ROW) {
  }
  if (rc != SQLITE_DONE) error = failed("writing");
  (void)sqlite3_finalize(statement);  // answers the step's error again
  return rc == SQLITE_DONE;
}

std::unique_ptr<UpdateRecord> UpdateRecord::open(const std::string& path, std::string& error) {
  std::unique_ptr<UpdateRecord> r(new UpdateRecord);
  r->path_ = path;
  // The mutex is ours: a call is several SQLite calls (bind, step, the
  // message) that no other thread may come between.
  const int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX;
  if (sqlite3_open_v2(path.c_str(), &r->db_, flags, nullptr) != SQLITE_OK) {
    error = r->db_ ? r->failed("opening") : path + ": opening: out of memory";
    return nullptr;
  }
  if (sqlite3_extended_result_codes(r->db_, 1) != SQLITE_OK ||
      sqlite3_busy_timeout(r->db_, kBusyTimeoutMs) != SQLITE_OK) {
    error = r->failed("setting up the connection");
    return nullptr;
  }
  // A file this process may not write is opened read-only without a word.
  // One it may write in a folder it may not (no room for the log beside
  // it) shows when the write lock is taken, before anything is written.
  if (sqlite3_db_readonly(r->db_, "main") != 0) {
    error = path + ": opening: " + sqlite3_errstr(SQLITE_READONLY);
    return nullptr;
  }
  if (!r->run("BEGIN IMMEDIATE", error) || !r->run("COMMIT", error)) return nullptr;

  sqlite3_stmt* mode = nullptr;
  if (!r->prepare("PRAGMA journal_mode=WAL", mode, error)) return nullptr;
  // Changing the journal takes the file to itself, and SQLite answers busy
  // at once instead of waiting as it waits for a write: a station opening a
  // new file at the same moment as another tries again within the timeout.
  int rc = sqlite3_step(mode);
  for (int waited = 0; (rc & 0xFF) == SQLITE_BUSY && waited < kBusyTimeoutMs; waited += kJournalRetryMs) {
    (void)sqlite3_reset(mode);
    sqlite3_sleep(kJournalRetryMs);
    rc = sqlite3_step(mode);
  }
  const std::string modeName = rc == SQLITE_ROW ? columnText(mode, 0) : std::string();
  if (rc != SQLITE_ROW) error = r->failed("choosing the journal");
  (void)sqlite3_finalize(mode);
  if (rc != SQLITE_ROW) return nullptr;
  if (modeName != "wal") {
    // Without a write-ahead log the stations would shut each other out.
    error = path + ": the file takes no write-ahead log (journal mode " + modeName + ")";
    return nullptr;
  }
  if (!r->run(kSchema, error)) return nullptr;
  // Prepared now, so that a file whose table has other columns fails here.
  if (!r->prepare("INSERT INTO updates(port, started, result) VALUES(?1, ?2, 'running')", r->insert_, error) ||
      !r->prepare("UPDATE updates SET ended = ?2, result = ?3, version = ?4, file = ?5, file_bytes = ?6, "
                  "file_sha256 = ?7, failure = ?8, bytes_sent = ?9 WHERE id = ?1",
                  r->update_, error) ||
      !r->prepare("SELECT id, port, started, ended, version, file, file_bytes, file_sha256, result, failure, "
                  "bytes_sent FROM updates ORDER BY id",
                  r->select_, error)) {
    return nullptr;
  }

  const std::string lockPath = path + "-station.lock";
  r->lock_ = FileLock::open(lockPath, error);
  if (!r->lock_) return nullptr;
  if (r->lock_->tryExclusive()) {
    // No other station has the file open: whatever is still running was
    // left by one that died. One statement, so one transaction.
    if (!r->run("UPDATE updates SET result = 'interrupted' WHERE result = 'running'", error)) return nullptr;
    r->marked_ = sqlite3_changes64(r->db_);
  }
  if (!r->lock_->shared()) {
    error = lockPath + ": the station lock cannot be taken";
    return nullptr;
  }
  return r;
}

UpdateRecord::~UpdateRecord() {
  for (sqlite3_stmt* s : {insert_, update_, select_}) (void)sqlite3_finalize(s);
  // close_v2 leaves nothing open even if a statement were still alive.
  (void)sqlite3_close_v2(db_);
}

int64_t UpdateRecord::begin(const std::string& port, const std::string& started, std::string& error) {
  std::lock_guard l(mutex_);
  Rewind rewind{insert_};
  if (bindText(insert_, 1, port) != SQLITE_OK || bindText(insert_, 2, started) != SQLITE_OK) {
    error = failed("recording the start on " + port);
    return -1;
  }
  if (sqlite3_step(insert_) != SQLITE_DONE) {
    error = failed("recording the start on " + port);
    return -1;
  }
  return sqlite3_last_insert_rowid(db_);
}

bool UpdateRecord::finish(int64_t id, const UpdateOutcome& o, std::string& error) {
  if (!knownResult(o.result)) {
    error = path_ + ": an update cannot end as \"" + o.result + "\"";
    return false;
  }
  std::lock_guard l(mutex_);
  Rewind rewind{update_};
  sqlite3_stmt* s = update_;
  int rc = sqlite3_bind_int64(s, 1, id);
  if (rc == SQLITE_OK) rc = bindText(s, 2, o.ended);
  if (rc == SQLITE_OK) rc = bindText(s, 3, o.result);
  if (rc == SQLITE_OK) rc = bindText(s, 4, o.version);
  if (rc == SQLITE_OK) rc = bindText(s, 5, o.file);
  if (rc == SQLITE_OK) rc = bindInteger(s, 6, o.fileBytes);
  if (rc == SQLITE_OK) rc = bindText(s, 7, o.fileSha256);
  if (rc == SQLITE_OK) rc = bindText(s, 8, o.failure);
  if (rc == SQLITE_OK) rc = bindInteger(s, 9, o.bytesSent);
  if (rc != SQLITE_OK || sqlite3_step(s) != SQLITE_DONE) {
    error = failed(format("recording the end of update %" PRId64, id));
    return false;
  }
  if (sqlite3_changes64(db_) != 1) {
    error = format("%s: there is no update %" PRId64, path_.c_str(), id);
    return false;
  }
  return true;
}

bool UpdateRecord::report(ReportFormat as, std::string& out, std::string& error) {
  std::lock_guard l(mutex_);
  Rewind rewind{select_};
  const int columns = sqlite3_column_count(select_);
  std::string text;
  if (as == ReportFormat::Csv) {
    for (int c = 0; c < columns; ++c) {
      if (c > 0) text += ',';
      text += columnName(select_, c);
    }
    text += "\r\n";
  } else {
    text += '[';
  }
  int rc;
  bool first = true;
  while ((rc = sqlite3_step(select_)) == SQLITE_ROW) {
    if (as == ReportFormat::Csv) {
      for (int c = 0; c < columns; ++c) {
        if (c > 0) text += ',';
        appendCsvField(text, select_, c);
      }
      text += "\r\n";
      continue;
    }
    text += first ? "\n  {" : ",\n  {";
    first = false;
    for (int c = 0; c < columns; ++c) {
      if (c > 0) text += ", ";
      appendJsonString(text, columnName(select_, c));
      text += ": ";
      appendJsonValue(text, select_, c);
    }
    text += '}';
  }
  if (rc != SQLITE_DONE) {
    error = failed("reading the updates");
    return false;
  }
  if (as == ReportFormat::Json) text += first ? "]\n" : "\n]\n";
  out = std::move(text);
  return true;
}

}  // namespace ferrolan
