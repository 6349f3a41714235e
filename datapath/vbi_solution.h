#pragma once
// The fields of the two decoded binary messages, read from a frame as the
// framer closed it (byte 0 is the id's low byte, the payload begins at 6):
// SV Measurements (120) and PVT Solution (121). Pure: the Info page and the
// shared-port driver read them the same way.

#include <array>
#include <cstddef>
#include <cstdint>

#include "datapath/data_path.h"

namespace ferrolan {

inline constexpr size_t kVbiPayloadAt = 6;

// SV Measurements: a 38-byte header (week, time of week in ms, GPS seconds,
// record count), then 42-byte records.
inline constexpr int32_t kMeasHeaderBytes = 38, kMeasRecordBytes = 42;
inline constexpr size_t kMeasMaxRecords = 16;

struct SvMeasurement {
  int channel = 0;
  int prn = 0;
  int elevationDeg = 0;
  int azimuthDeg = 0;
  int state = 0;
  unsigned signal = 0;  // C/N0 in thousandths of dB-Hz
};

struct SvMeasurements {
  uint16_t week = 0;
  uint32_t timeOfWeekMs = 0;
  uint32_t gpsSeconds = 0;  // since 1980-01-06, leap seconds included
  size_t count = 0;         // records, at most kMeasMaxRecords
  std::array<SvMeasurement, kMeasMaxRecords> records{};
};

// `length` is the framer's handed-over length: the records are those that
// fit it, never more than the window holds.
SvMeasurements decodeSvMeasurements(FrameView frame, int32_t length);

// PVT Solution.
inline constexpr uint8_t kPvtFixMaskBits = 0xE0, kPvtFix3DBits = 0x60, kPvtFix2DBits = 0x40;
// A satellite in this state or above takes part in the fix.
inline constexpr int kPvtUsedStateMin = 6;
inline constexpr int kPvtStateSlots = 32;  // PRN 1..32, four bits each

struct PvtSolution {
  int fixDimensions = 0;  // 0 (no fix), 2 or 3
  int hour = 0, minute = 0, second = 0;
  double latitudeRad = 0, longitudeRad = 0;
  double altitudeM = 0;
  std::array<uint8_t, kPvtStateSlots> states{};  // index PRN - 1
  bool used(int prn) const {
    return prn >= 1 && prn <= kPvtStateSlots && states[static_cast<size_t>(prn - 1)] >= kPvtUsedStateMin;
  }
};

PvtSolution decodePvtSolution(FrameView frame);

}  // namespace ferrolan
