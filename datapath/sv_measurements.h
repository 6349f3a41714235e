#pragma once
// The fields of SV Measurements (120), read from a frame as the framer
// closed it (byte 0 is the id's low byte, the payload begins at 6). Pure:
// the Info page and the shared-port driver read them the same way; the PVT
// Solution's decoder is in vbi_messages.h.

#include <array>
#include <cstddef>
#include <cstdint>

#include "datapath/data_path.h"
#include "datapath/vbi_messages.h"

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


}  // namespace ferrolan
