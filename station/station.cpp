#include "station/station.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <map>
#include <memory>
#include <set>
#include <thread>

#include "core/calendar.h"
#include "platform/clock.h"
#include "platform/port_watch.h"
#include "platform/process.h"
#include "platform/terminal.h"
#include "station/receiver_run.h"
#include "station/station_table.h"
#include "station/update_record.h"
#include "update/auto_update_config.h"

namespace ferrolan {

namespace {

constexpr uint32_t kRedrawMs = 500;
constexpr uint32_t kSettleMs = 300;

void say(const std::string& line) {
  std::fprintf(stderr, "ferrolan: station: %s\n", line.c_str());
}

// The folders whose entries may be ports: each pattern's own, up to its
// first wildcard, and the device root's dev/ where "COMn" links live.
std::vector<std::string> watchedFolders(const StationOptions& o) {
  std::set<std::string> dirs{o.root + "/dev"};
  for (const std::string& p : o.ports) {
    const size_t wild = p.find_first_of("*?[");
    const std::string fixed = p.substr(0, wild);
    if (fixed.find('/') != std::string::npos) dirs.insert(folderOfName(fixed));
  }
  return {dirs.begin(), dirs.end()};
}

bool hasWildcard(const std::string& p) { return p.find_first_of("*?[") != std::string::npos; }

}  // namespace

void StationStop::request(int signal) {
  int none = 0;
  signal_.compare_exchange_strong(none, signal);
  poke();
}

void StationStop::poke() {
  {
    std::lock_guard l(m_);
    poked_ = true;
  }
  cv_.notify_all();
}

void StationStop::waitFor(uint32_t ms) {
  std::unique_lock l(m_);
  const auto woken = [this] { return poked_ || signal_.load() != 0; };
  if (ms == 0)
    cv_.wait(l, woken);
  else
    cv_.wait_for(l, std::chrono::milliseconds(ms), woken);
  poked_ = false;
}

std::string defaultStationDb(const std::string& root) { return root + "/ferrolan-station.sqlite"; }

class Station {
 public:
  Station(const StationOptions& o, StationStop& stop) : o_(o), stop_(stop), terminal_(isTerminal(1)) {}
  int run();

 private:
  struct Slot {
    std::unique_ptr<ReceiverRun> run;
    std::thread thread;
    std::atomic<bool> done{false};
    int64_t row = -1;
    uint32_t startedMs = 0, endedMs = 0;
    std::string presence;
  };
  struct Target {
    std::string port, identity, refusal;
    std::string presence;  // this plugging-in of it: the name made, and its device
  };

  std::vector<Target> scan();
  void start(const Target& t);
  void reap();
  void finish(Slot& s);
  void draw(bool last);
  size_t active() const;
  bool running(const std::string& presence) const;
  uint32_t elapsed(const Slot& s) const { return (s.endedMs ? s.endedMs : clock_.tickCount()) - s.startedMs; }

  const StationOptions& o_;
  StationStop& stop_;
  const bool terminal_;
  mutable SystemClock clock_;
  std::unique_ptr<UpdateRecord> record_;
  bool recordFailed_ = false;
  std::vector<std::unique_ptr<Slot>> slots_;
  std::map<std::string, std::string> seen_;  // presences updated and not gone since, with their port
  std::set<std::string> removed_;            // names removed while their run went on
  std::map<std::string, uint32_t> settling_;  // new presences, by when first seen
  size_t drawn_ = 0;            // table lines on the screen
};

// The ports the patterns name now; a name whose device an earlier name
// already gave is refused, a plain path that does not exist is kept (its
// run fails to open it).
std::vector<Station::Target> Station::scan() {
  std::vector<Target> out;
  std::map<std::string, std::string> byIdentity;
  for (const std::string& pattern : o_.ports) {
    std::vector<std::string> names = expandPortPatterns({pattern});
    if (names.empty() && !hasWildcard(pattern) && !o_.watch) names.push_back(pattern);
    for (const std::string& name : names) {
      Target t{name, deviceIdentity(name), {}, {}};
      t.presence = nameIdentity(name) + "/" + t.identity;
      if (!t.identity.empty()) {
        auto [it, fresh] = byIdentity.emplace(t.identity, name);
        if (!fresh) {
          if (it->second == name) continue;  // one name matched twice
          t.refusal = "refused: the same device as " + it->second;
        }
      }
      out.push_back(std::move(t));
    }
  }
  return out;
}

void Station::start(const Target& t) {
  auto slot = std::make_unique<Slot>();
  slot->presence = t.presence;
  slot->startedMs = clock_.tickCount();
  slot->run = std::make_unique<ReceiverRun>(RunSetup{o_.root, t.port, t.refusal});
  if (record_) {
    std::string error;
    slot->row = record_->begin(t.port, isoUtc(clock_.utcNow()), error);
    if (slot->row < 0) {
      recordFailed_ = true;
      say(t.port + ": not recorded: " + error);
    }
  }
  Slot* s = slot.get();
  slot->thread = std::thread([this, s] {
    s->run->run();
    s->done = true;
    stop_.poke();
  });
  slots_.push_back(std::move(slot));
}

void Station::finish(Slot& s) {
  s.thread.join();
  s.endedMs = clock_.tickCount();
  const RunView v = s.run->view();
  if (!terminal_) {
    std::printf("%s\n", endLine({v, elapsed(s)}).c_str());
    std::fflush(stdout);
  }
  if (!record_ || s.row < 0) return;
  UpdateOutcome out;
  out.ended = isoUtc(clock_.utcNow());
  out.result = runResultText(v.result);
  if (!v.version.empty()) out.version = v.version;
  out.file = v.file;
  if (v.file) {
    out.fileBytes = static_cast<int64_t>(v.fileBytes);
    out.bytesSent = static_cast<int64_t>(v.bytesSent);
  }
  if (!v.sha256.empty()) out.fileSha256 = v.sha256;
  if (v.result != RunResult::Ok) out.failure = v.failure;
  std::string error;
  if (!record_->finish(s.row, out, error)) {
    recordFailed_ = true;
    say(v.port + ": not recorded: " + error);
  }
}

void Station::reap() {
  for (auto& s : slots_)
    if (s->done && s->thread.joinable()) finish(*s);
}

size_t Station::active() const {
  size_t n = 0;
  for (const auto& s : slots_) n += s->thread.joinable() ? 1 : 0;
  return n;
}

bool Station::running(const std::string& presence) const {
  for (const auto& s : slots_)
    if (s->presence == presence && s->thread.joinable()) return true;
  return false;
}

void Station::draw(bool last) {
  if (!terminal_) return;
  std::vector<TableRow> rows;
  for (const auto& s : slots_) rows.push_back({s->run->view(), elapsed(*s)});
  const int columns = terminalColumns();
  const std::vector<std::string> lines = tableLines(rows, static_cast<size_t>(std::max(columns, 40)));
  std::string out;
  if (drawn_) out += "\x1b[" + std::to_string(drawn_) + "F";  // back to the table's first line
  for (const std::string& l : lines) out += l + "\x1b[K\n";
  if (last) out += summaryLine(rows) + "\n";
  std::fputs(out.c_str(), stdout);
  std::fflush(stdout);
  drawn_ = last ? 0 : lines.size();
}

int Station::run() {
  // The rules, once: a station without them would fail every receiver.
  {
    const std::string db = o_.db.empty() ? defaultStationDb(o_.root) : o_.db;
    std::string error;
    record_ = UpdateRecord::open(db, error);
    if (!record_) {
      recordFailed_ = true;
      say("cannot record in " + db + ": " + error + " (the updates run, unrecorded)");
    } else if (record_->markedInterrupted() > 0) {
      say(std::to_string(record_->markedInterrupted()) + " run(s) left running by an earlier station marked interrupted");
    }
  }

  PortWatch watch;
  std::thread watcher;
  CancelToken stopWatching;
  if (o_.watch) {
    watch.keepRemovedNames();
    for (const std::string& dir : watchedFolders(o_)) watch.watchFolder(dir);
    watcher = std::thread([&] {
      while (!stopWatching.cancelled())
        if (watch.waitForChange(UINT32_MAX, &stopWatching)) stop_.poke();
    });
  }

  std::vector<Target> pending = scan();
  if (pending.empty() && !o_.watch) {
    say("no port matched");
    return 2;
  }
  if (!o_.watch)
    for (const Target& t : pending) seen_.emplace(t.presence, t.port);
  else
    pending.clear();  // the first scan of the loop finds them

  bool rescan = o_.watch;
  for (;;) {
    reap();
    if (stop_.signal()) break;
    if (rescan) {
      rescan = false;
      std::set<std::string> present;
      // By presence, not device: a port unplugged and plugged in again
      // between two looks leads to the same device through a new name.
      // A new one waits to settle: names that udev or a link maker puts
      // up for a moment on the way (a temporary link renamed into place)
      // are gone by the next look.
      // A name removed since the last look is gone even when it is back
      // already and looks the same (a filesystem that reuses inode numbers,
      // the same pseudo-terminal again).
      std::set<std::string> removed = watch.takeRemovedNames();
      removed.merge(removed_);
      removed_.clear();
      for (auto it = seen_.begin(); it != seen_.end();) {
        if (!removed.count(it->second)) {
          ++it;
        } else if (running(it->first)) {
          removed_.insert(it->second);  // until its run ends
          ++it;
        } else {
          it = seen_.erase(it);
        }
      }
      const uint32_t now = clock_.tickCount();
      std::map<std::string, uint32_t> settling;
      for (const Target& t : scan()) {
        if (t.identity.empty()) continue;
        present.insert(t.presence);
        if (seen_.count(t.presence)) continue;
        const auto first = settling_.find(t.presence);
        const uint32_t since = first == settling_.end() ? now : first->second;
        if (now - since >= kSettleMs) {
          seen_.emplace(t.presence, t.port);
          pending.push_back(t);
        } else {
          settling.emplace(t.presence, since);
        }
      }
      settling_ = std::move(settling);
      // Gone: once it is back it is a new receiver. A running one stays
      // until its run ends.
      for (auto it = seen_.begin(); it != seen_.end();)
        it = present.count(it->first) || running(it->first) ? std::next(it) : seen_.erase(it);
    }
    while (!pending.empty() && (o_.jobs <= 0 || active() < static_cast<size_t>(o_.jobs))) {
      start(pending.front());
      pending.erase(pending.begin());
    }
    draw(false);
    if (!o_.watch && pending.empty() && active() == 0) break;
    stop_.waitFor(!settling_.empty() ? kSettleMs : terminal_ && active() ? kRedrawMs : 0);
    rescan = o_.watch;
  }

  // Stopped: the running ones end as interrupted, and all are recorded.
  for (auto& s : slots_)
    if (s->thread.joinable()) s->run->interrupt();
  for (auto& s : slots_)
    if (s->thread.joinable()) finish(*s);
  draw(true);
  stopWatching.cancel();
  if (watcher.joinable()) watcher.join();

  if (const int signal = stop_.signal()) return 128 + signal;
  bool allOk = !slots_.empty();
  for (const auto& s : slots_) allOk = allOk && s->run->view().result == RunResult::Ok;
  return allOk && !recordFailed_ ? 0 : 1;
}

int runStation(const StationOptions& options, StationStop& stop) {
  Station station(options, stop);
  return station.run();
}

int printStationReport(const std::string& db, const std::string& format) {
  std::string error;
  auto record = UpdateRecord::open(db, error);
  if (!record) {
    say("cannot read " + db + ": " + error);
    return 1;
  }
  std::string out;
  if (!record->report(format == "json" ? ReportFormat::Json : ReportFormat::Csv, out, error)) {
    say("cannot read " + db + ": " + error);
    return 1;
  }
  std::fputs(out.c_str(), stdout);
  return 0;
}

}  // namespace ferrolan
