#include "ephemeris/ephemeris_upload.h"

#include <new>
#include <span>

#include "core/text.h"
#include "ephemeris/lte_file.h"
#include "link/serial_session.h"
#include "link/vbi_frame.h"
#include "platform/device_root.h"
#include "platform/regular_file.h"

namespace ferrolan {

namespace {

constexpr int kGpsEpochYear = 1980;
constexpr int64_t kDaysBeforeMonth[12] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
// Day 0 is 6 January 1980.
constexpr int64_t kEpochDayOffset = 6;

constexpr const char* kNoMemoryText = "Can't allocate memory.";
constexpr const char* kOpenFailedText = "Open LTE file failed!";
constexpr const char* kFileIncorrectText = "LTE File incorrect!";
constexpr const char* kNoTimeText = "Can't Get GPS Time!";
constexpr const char* kExpiredText = "Eph not valid!";
constexpr const char* kFutureText = "GPS Time Not Match!";
constexpr const char* kSendFailedText = "Send Data failed!";
// One stray byte is taken as a separator; more mean something was lost.
constexpr size_t kStrayBytesTolerated = 1;

void useDeviceClock(EphemerisContext& ctx) {
  const CalendarTime now = ctx.clock.utcNow();
  ctx.fix.editRmcDateTime([&](RmcDateTime& r) { r = {now.year, now.month, now.day, now.hour, now.minute, now.second}; });
}

uint32_t measurementTime(EphemerisContext& ctx) {
  auto port = ctx.session.portHandle.get();
  if (!port) return 0;
  const uint8_t marker[] = {kVbiSync1, kVbiSync2, kMeasurementId};
  size_t matched = 0;
  const uint32_t start = ctx.clock.tickCount();
  while (matched < sizeof marker) {
    uint8_t b;
    if (!port->readByte(b)) {
      matched = 0;
      if (port->hungUp()) return 0;  // nothing more will come
    } else if (b == marker[matched]) {
      ++matched;
    } else {
      // The byte that broke a match is not tried again as a new start.
      matched = 0;
    }
    if (matched < sizeof marker && elapsedSeconds(ctx.clock, start) > kGpsTimeSeconds) return 0;
  }
  uint8_t tail[kMeasurementTailBytes];
  for (uint8_t& b : tail)
    if (!port->readByte(b)) return 0;  // a cut frame holds no time
  uint32_t t = 0;
  for (size_t i = 0; i < 4; ++i) t |= static_cast<uint32_t>(tail[kMeasurementTimeAt + i]) << (8 * i);
  return t;
}

bool sendRecord(EphemerisContext& ctx, std::span<const uint8_t> file, const LteChoice& choice) {
  auto port = ctx.session.portHandle.get();
  int sent = 0;
  for (const LteFrame& f : choice.frames) {
    if (!port || !port->write(file.data() + f.offset, f.length)) {
      ctx.textLog.append(kSendFailedText);
      ctx.clock.sleepMs(kSendFailurePauseMs);
      return false;
    }
    ctx.clock.sleepMs(kFramePauseMs);
    ++sent;
  }
  ctx.textLog.append(choice.lostBytes > kStrayBytesTolerated
                         ? format("%d Ephemeris Sent,Upload  Ephemeris Completed!!!, But Lost Some!!!", sent)
                         : format("%d Ephemeris Sent, Upload  Ephemeris Completed!!!", sent));
  return true;
}

std::unique_ptr<uint8_t[]> takeWorkBuffer(EphemerisContext& ctx) {
  if (ctx.ephemeris.allocate) return ctx.ephemeris.allocate(kLteBufferSize);
  return std::unique_ptr<uint8_t[]>(new (std::nothrow) uint8_t[kLteBufferSize]);
}

}  // namespace

uint32_t gpsSecondsFromRmcTime(const RmcDateTime& t) {
  if (t.month < 1 || t.month > 12 || t.year < kGpsEpochYear) return 0;
  const int64_t y = t.year - kGpsEpochYear;
  // The current year's leap day counts from March on.
  const int64_t leapDays = y / 4 + 1 - (y % 4 == 0 && t.month <= 2 ? 1 : 0);
  const int64_t days = y * 365 + t.day + leapDays + kDaysBeforeMonth[t.month - 1] - kEpochDayOffset;
  const int64_t seconds = ((days * 24 + t.hour) * 60 + t.minute) * 60 + t.second;
  return static_cast<uint32_t>(static_cast<uint64_t>(seconds));
}

uint32_t readGpsTime(EphemerisContext& ctx) {
  const uint32_t t =
      ctx.session.protocolMode == ProtocolMode::Nmea ? gpsSecondsFromRmcTime(ctx.fix.rmcDateTime()) : measurementTime(ctx);
  ctx.ephemeris.gpsSeconds = t;
  return t;
}

bool uploadEphemeris(EphemerisContext& ctx) {
  const auto buffer = takeWorkBuffer(ctx);
  if (!buffer) {
    ctx.ui.messageBox(std::nullopt, kNoMemoryText, "Error", kMbOk);
    return false;
  }
  findCardFolder(ctx);
  const std::string path = localPath(ctx.root, "\\" + ctx.storage.cardFolder.get() + "\\LTE.bin");
  size_t size = 0;
  switch (readRegularFile(path, std::span<uint8_t>(buffer.get(), kLteBufferSize), size)) {
    case FileRead::Ok:
      break;
    case FileRead::TooBig:  // it would not fit the work buffer: its end would be lost
      ctx.textLog.append(kFileIncorrectText);
      return false;
    case FileRead::Missing:
    case FileRead::NotRegular:
      ctx.textLog.append(kOpenFailedText);
      return false;
  }
  if (size < kLteMinimumSize) {
    ctx.textLog.append(kFileIncorrectText);
    return false;
  }
  const std::span<const uint8_t> file(buffer.get(), size);

  bool usedDeviceClock = false;
  if (ctx.fix.rmcDateTime().year < kFirstRmcYear) {
    useDeviceClock(ctx);
    usedDeviceClock = true;
  }
  uint32_t gps = readGpsTime(ctx);
  for (;;) {
    if (gps == 0) {
      ctx.textLog.append(kNoTimeText);
      return false;
    }
    const uint32_t fileTime = gps + kLteTimeOffset;
    ctx.ephemeris.gpsSeconds = fileTime;
    const LteChoice choice = chooseLteRecord(file, fileTime);
    switch (choice.fit) {
      case LteFit::Valid:
        return sendRecord(ctx, file, choice);
      case LteFit::NoFrames:  // nothing to send is no completion
        ctx.textLog.append(kFileIncorrectText);
        return false;
      case LteFit::AllExpired:
      case LteFit::StartsInFuture:
        break;
    }
    if (usedDeviceClock) {
      ctx.textLog.append(choice.fit == LteFit::AllExpired ? kExpiredText : kFutureText);
      return false;
    }
    // The receiver's time missed: the device clock is tried once.
    useDeviceClock(ctx);
    usedDeviceClock = true;
    gps = readGpsTime(ctx);
  }
}

}  // namespace ferrolan
