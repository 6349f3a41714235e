#pragma once
// The data path's process-wide records: what the receive thread writes and
// the display thread reads (the stored sentences, the binary copies, the
// time-to-first-fix clock), the handles through which one wakes the other,
// and the seams where the decoders and the raw log plug in. Every field is
// an atomic or sits behind a short lock.

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <string_view>
#include <vector>

#include "datapath/sentence_events.h"
#include "datapath/stream_framer.h"
#include "datapath/stream_log.h"
#include "platform/events.h"

namespace ferrolan {

// A stored line holds 127 characters; longer ones (no NMEA sentence is) are
// cut, so that the fields at their front stay readable.
inline constexpr size_t kStoredLineCapacity = 128;

struct StoredLine {
  std::array<char, kStoredLineCapacity - 1> chars{};
  size_t length = 0;
  std::string_view view() const { return {chars.data(), length}; }
};

enum class StoreSlot : int { Gga, Gsa, Rmc, Gsv1, Gsv2, Gsv3, Gsv4, Gsv5, Count };

// The last GGA, GSA and RMC lines and GSV parts 1 to 5. Written by the
// receive thread, read by the refresh routines; each read is a copy.
class SentenceStore {
 public:
  void store(StoreSlot slot, std::string_view line);
  StoredLine read(StoreSlot slot) const;
  StoredLine ggaText() const { return read(StoreSlot::Gga); }
  StoredLine gsaText() const { return read(StoreSlot::Gsa); }
  StoredLine rmcText() const { return read(StoreSlot::Rmc); }
  // part 1 to 5; any other part reads empty.
  StoredLine gsvText(int part) const;

  // Parts in the last GSV group whose last message arrived (0 at start).
  std::atomic<int> gsvTotal{0};

 private:
  mutable std::mutex m_;
  std::array<StoredLine, static_cast<size_t>(StoreSlot::Count)> slots_{};
};

// The time-to-first-fix clock: started here, read and stopped by the fix
// display. ttffStart is written before ttffRunning is set.
struct TtffClock {
  std::atomic<uint32_t> ttffStart{0};
  std::atomic<bool> ttffRunning{false};
};

inline constexpr size_t kVbiCopySize = kFrameWindow;
using VbiCopy = std::array<uint8_t, kVbiCopySize>;
using FrameView = std::span<const uint8_t, kVbiCopySize>;

// The last SV Measurements message, and the last three PVT Solution
// messages in rotation with the selector naming the copy the next one
// overwrites. The decoders read through copies taken under the lock.
class VbiCopies {
 public:
  void putMeasurement(FrameView frame, int32_t length);
  // Into the copy the selector names; the selector then moves on.
  void putSolution(FrameView frame);

  // The measurement copy into `out`; answers its handed-over length.
  int32_t measurement(VbiCopy& out) const;
  // The copy the selector names now, as the PVT display reads it.
  void selectedSolution(VbiCopy& out) const;
  // Copy 0 (A), 1 (B) or 2 (C).
  void solution(int copy, VbiCopy& out) const;
  int pvtSelector() const { return selector_.load(); }

 private:
  mutable std::mutex m_;
  VbiCopy measurement_{};
  int32_t measurementLength_ = 0;
  std::array<VbiCopy, 3> pvt_{};
  std::atomic<int> selector_{0};  // written under m_
};

// Where the receive path signals the display thread's events. The display
// thread publishes each handle once it has opened it; until then a signal
// has no effect, and once shutdown has closed the events it has none again.
class SentenceEventSlots {
 public:
  void publish(int index, const EventHandle& event);
  void signal(int index);

 private:
  std::mutex m_;
  std::array<std::weak_ptr<Event>, sentenceEvents::kCount> slots_;
};

// Routines the display thread runs once it has served every refresh
// signalled before them: their event comes after all the sentence events in
// its wait, and the lowest signalled index is served first. What is shown
// is then up to date with everything the receive thread has dispatched.
class DisplayBarrier {
 public:
  // By the display thread, with the event it waits for last.
  void publish(const EventHandle& event);
  // Queues the routine and wakes the display thread; false (and nothing
  // queued) when no display thread waits.
  bool post(std::function<void()> routine);
  // The display thread: runs what was posted, in order.
  void runPosted();

 private:
  std::mutex m_;
  std::weak_ptr<Event> event_;
  std::vector<std::function<void()>> posted_;
};

// The refresh routine the display thread runs when an event fires. The
// decoders and the satellite display register theirs before any display
// thread starts; an event without one is served and nothing runs.
using RefreshRoutine = std::function<void()>;
using RefreshTable = std::array<RefreshRoutine, sentenceEvents::kCount>;

// The events the complete tool refreshes from, and what each one shows; a
// build that lacks one names it once.
struct RefreshedEvent {
  int event;
  const char* what;
};
inline constexpr RefreshedEvent kRefreshedEvents[] = {
    {sentenceEvents::kGpGsa, "fix display (GSA)"},
    {sentenceEvents::kGpGsv, "satellite display (GSV)"},
    {sentenceEvents::kGpRmc, "time and position display (RMC)"},
    {sentenceEvents::kSvMeasData, "SV measurements display"},
    {sentenceEvents::kSvSoluData, "PVT solution display"},
};

// The UTC date and time of the last RMC sentence: year (full), month, day,
// hour, minute, second. Read by the ephemeris upload on its own thread.
struct RmcDateTime {
  int32_t year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
  bool operator==(const RmcDateTime&) const = default;
};

inline constexpr size_t kUsedSatelliteSlots = 12;

// What the fix display leaves for the satellite display and the ephemeris
// upload. At most one of fix2D and fix3D is set.
class FixResults {
 public:
  std::atomic<bool> fix2D{false};
  std::atomic<bool> fix3D{false};
  std::array<std::atomic<int32_t>, kUsedSatelliteSlots> usedSatellites{};

  bool hasFix() const { return fix2D || fix3D; }
  bool isUsed(int32_t id) const {
    for (const auto& u : usedSatellites)
      if (u.load() == id) return true;
    return false;
  }
  RmcDateTime rmcDateTime() const {
    std::lock_guard l(m_);
    return rmc_;
  }
  template <typename Edit>
  void editRmcDateTime(Edit&& edit) {
    std::lock_guard l(m_);
    edit(rmc_);
  }

 private:
  mutable std::mutex m_;
  RmcDateTime rmc_;
};

// The sky plot's tables, by the order satellites appear in the GSV group.
// Only the display thread touches them.
inline constexpr size_t kSkySlots = 16;
struct SkyTables {
  int satellitesInView = 0;
  std::array<std::array<char, 5>, kSkySlots> labels{};  // at most 4 characters, terminated
  std::array<int, kSkySlots> elevation{};
  std::array<int, kSkySlots> azimuth{};
};

// The end of a played log: the receive thread hands on the sentence or
// frame it still holds, as the start of the next would, and then counts the
// request as done. Everything read before it has been dispatched by then.
struct StreamEndRequests {
  std::atomic<uint32_t> requested{0};
  std::atomic<uint32_t> done{0};
};

struct DataPath {
  LineSync lineSync;
  SentenceStore sentences;
  TtffClock ttff;
  VbiCopies vbi;
  SentenceEventSlots events;
  DisplayBarrier barrier;
  StreamEndRequests streamEnd;
  RefreshTable refresh;
  FixResults fix;
  SkyTables sky;
  // The raw log, when one is registered; the receive thread calls it.
  std::atomic<StreamLog*> streamLog{nullptr};
};

}  // namespace ferrolan
