#pragma once
// The binary output of one epoch: message 120 (satellite measurements) and
// message 121 (position solution) every second, and now and then one of the
// other message ids between 100 and 155.

#include <cstdint>
#include <vector>

#include "sim/nmea_output.h"
#include "sim/wire.h"

namespace ferrolan::sim {

inline constexpr uint16_t kMsgSvMeasurements = 120;
inline constexpr uint16_t kMsgPvtSolution = 121;
inline constexpr size_t kMeasHeader = 38;
inline constexpr size_t kMeasRecord = 42;
inline constexpr size_t kMeasGpsSecondsOffset = 6;  // payload offset of the GPS time
inline constexpr size_t kPvtPayload = 64;
inline constexpr size_t kMaxMeasRecords = 16;

// Payload layout of message 121.
namespace pvt {
inline constexpr size_t kFixType = 5, kHour = 11, kMinute = 12, kSecond = 13, kLatitude = 18, kLongitude = 26,
                        kAltitude = 34, kSatStates = 44, kSatStateBytes = 16;
inline constexpr uint8_t kFix3D = 0x60, kFix2D = 0x40;
inline constexpr uint8_t kStateUsed = 7, kStateTracked = 3;
}  // namespace pvt

Bytes svMeasurementsFrame(const Epoch& e, uint32_t gpsSeconds);
Bytes pvtSolutionFrame(const Epoch& e);
// One of the ids 100..155 other than 120 and 121, chosen by the epoch.
Bytes auxiliaryFrame(uint32_t epoch);
// The frames of one epoch: 120 and 121, and every tenth epoch one more.
std::vector<Bytes> vbiEpoch(const Epoch& e, uint32_t gpsSeconds, uint32_t epoch);

}  // namespace ferrolan::sim
