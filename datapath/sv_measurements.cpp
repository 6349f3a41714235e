#include "datapath/sv_measurements.h"

#include <algorithm>

namespace ferrolan {

namespace {

// Header and record offsets within the payload.
constexpr size_t kMeasWeek = 0, kMeasTow = 2, kMeasGpsSeconds = 6;
constexpr size_t kRecChannel = 0, kRecPrn = 1, kRecElevation = 2, kRecAzimuth = 3, kRecState = 5,
                 kRecSignal = 8;

uint16_t le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
uint32_t le32(const uint8_t* p) { return le16(p) | static_cast<uint32_t>(le16(p + 2)) << 16; }

}  // namespace

SvMeasurements decodeSvMeasurements(FrameView frame, int32_t length) {
  SvMeasurements m;
  const uint8_t* p = frame.data() + kVbiPayloadAt;
  m.week = le16(p + kMeasWeek);
  m.timeOfWeekMs = le32(p + kMeasTow);
  m.gpsSeconds = le32(p + kMeasGpsSeconds);
  const int64_t records = (static_cast<int64_t>(length) - kMeasHeaderBytes) / kMeasRecordBytes;
  m.count = records < 1 ? 0 : static_cast<size_t>(std::min<int64_t>(records, kMeasMaxRecords));
  for (size_t k = 0; k < m.count; ++k) {
    const uint8_t* r = p + kMeasHeaderBytes + k * kMeasRecordBytes;
    SvMeasurement& s = m.records[k];
    s.channel = r[kRecChannel];
    s.prn = r[kRecPrn];
    s.elevationDeg = r[kRecElevation];
    s.azimuthDeg = le16(r + kRecAzimuth);
    s.state = r[kRecState];
    s.signal = le16(r + kRecSignal);
  }
  return m;
}


}  // namespace ferrolan
