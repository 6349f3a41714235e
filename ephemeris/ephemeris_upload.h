#pragma once
// The long-term ephemeris upload: finds the GPS time (the receiver's, or
// the device clock's), picks the record of "\<card>\LTE.bin" whose window
// holds it and writes that record's frames to the receiver one by one.
// Its result and every failure are one TextLog line.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "control/storage_folders.h"
#include "datapath/data_path.h"
#include "link/link_context.h"

namespace ferrolan {

inline constexpr uint32_t kGpsTimeSeconds = 10;     // the wait for message 120 in VBI mode
inline constexpr uint32_t kFramePauseMs = 100;      // after each frame written
inline constexpr uint32_t kSendFailurePauseMs = 1000;
inline constexpr int kFirstRmcYear = 2008;          // an earlier RMC year is no date yet
// Message 120 (satellite measurements): its marker, then the 15 frame
// bytes 3 to 17, of which 14 to 17 hold the GPS time.
inline constexpr uint8_t kMeasurementId = 0x78;
inline constexpr size_t kMeasurementTailBytes = 15;
inline constexpr size_t kMeasurementTimeAt = 14 - 3;

struct EphemerisState {
  // The last GPS time read; during the record search, that time plus the
  // file-time offset.
  std::atomic<uint32_t> gpsSeconds{0};
  // Where the work buffer comes from; empty: the heap, null when that
  // fails. Tests hand in a failing one.
  std::function<std::unique_ptr<uint8_t[]>(size_t)> allocate;
};

struct EphemerisContext : LinkContext, StorageContext {
  const std::string& root;
  FixResults& fix;
  EphemerisState& ephemeris;
};

// GPS seconds (from 6 January 1980) of a UTC date and time, in unsigned
// 32-bit arithmetic; 0, no time, for a month outside 1 to 12 or a year
// before 1980.
uint32_t gpsSecondsFromRmcTime(const RmcDateTime& t);

// NMEA mode: from rmcDateTime. VBI mode: from the next message 120 on the
// port within 10 whole seconds. 0 when no time could be had (no port, a
// silent or lost line, fewer than 15 bytes after the marker). Also stored
// in gpsSeconds.
uint32_t readGpsTime(EphemerisContext& ctx);

// True once the chosen record's frames are written and the completion
// line is shown; false on any failure, reported once.
bool uploadEphemeris(EphemerisContext& ctx);

}  // namespace ferrolan
