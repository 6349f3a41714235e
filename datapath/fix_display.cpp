#include "datapath/fix_display.h"

#include <algorithm>
#include <cstdio>

#include "core/text.h"
#include "datapath/nmea_fields.h"
#include "datapath/satellite_display.h"
#include "datapath/vbi_messages.h"
#include "datapath/sv_measurements.h"
#include "link/serial_session.h"

namespace ferrolan {

namespace {

constexpr WindowId kInfo = WindowId::InfoPage;

// RMC fields.
constexpr int kRmcTime = 1, kRmcLatitude = 3, kRmcNorthSouth = 4, kRmcLongitude = 5, kRmcEastWest = 6,
              kRmcDate = 9;
// GSA fields: the fix mode, then twelve satellite ids.
constexpr int kGsaMode = 2, kGsaFirstId = 3;
// A fix reported this soon after the clock started is not taken as the first.
constexpr uint32_t kTtffMinimumSeconds = 2;

constexpr int kMeasChannels = 16;
static_assert(kMeasChannels <= static_cast<int>(kMeasMaxRecords));

// The PVT Solution payload in the copy.
constexpr size_t kPayloadAt = 6;
// The position texts are formatted into a buffer of this many characters.
constexpr size_t kPositionTextCapacity = 64;

uint32_t elapsedSeconds(DisplayContext& d) {
  return (d.path.clock.tickCount() - d.path.data.ttff.ttffStart.load()) / 1000u;
}

// Two characters read as decimal digits, unchecked; a missing one counts as "0".
int digitPair(std::string_view f, size_t at) {
  auto digit = [&](size_t i) { return (i < f.size() ? static_cast<unsigned char>(f[i]) : '0') - '0'; };
  return digit(at) * 10 + digit(at + 1);
}

std::string shown(std::string_view bytes) { return latin1ToUtf8(bytes); }

void endMeasurement(DisplayContext& d) {
  d.path.data.ttff.ttffRunning = false;
  d.path.session.restartPending = false;
}

}  // namespace

std::string degreesText(std::string_view joined) {
  constexpr size_t kSearched = 10, kMinuteDigits = 2;
  const size_t searched = std::min(joined.size(), kSearched);
  const size_t point = joined.substr(0, searched).rfind('.');
  std::string out(joined);
  if (point == std::string_view::npos || point < kMinuteDigits) return out;
  out.insert(point - kMinuteDigits, " Deg ");
  return out;
}

void showRmc(DisplayContext& d) {
  UiModel& ui = d.path.ui;
  ReceiverSession& s = d.path.session;
  if (d.path.data.ttff.ttffRunning) {
    const uint32_t seconds = elapsedSeconds(d);
    ui.setText(kInfo, ids::kInfoTtff, format("%us", seconds));
    if (s.stopRequested) {
      ui.setText(kInfo, ids::kInfoTtff, format("Stop %us", seconds));
      s.stopRequested = false;
      endMeasurement(d);
    }
  }
  const StoredLine stored = d.path.data.sentences.rmcText();
  const std::string_view line = lineBody(stored.view());
  FixResults& fix = d.path.data.fix;

  const std::string_view time = nmeaField(line, kRmcTime);
  if (!time.empty()) {
    std::string hms;
    const std::string_view six = time.substr(0, 6);
    for (size_t i = 0; i < six.size(); ++i) {
      if (i == 2 || i == 4) hms += ':';
      hms += six[i];
    }
    ui.setText(kInfo, ids::kInfoUtc, shown(hms));
    fix.editRmcDateTime([&](RmcDateTime& t) {
      t.hour = digitPair(time, 0), t.minute = digitPair(time, 2), t.second = digitPair(time, 4);
    });
  }
  const std::string latitude =
      std::string(nmeaField(line, kRmcLatitude)).append(nmeaField(line, kRmcNorthSouth));
  if (!latitude.empty()) ui.setText(kInfo, ids::kInfoLatitude, shown(degreesText(latitude)));
  const std::string longitude =
      std::string(nmeaField(line, kRmcLongitude)).append(nmeaField(line, kRmcEastWest));
  if (!longitude.empty()) ui.setText(kInfo, ids::kInfoLongitude, shown(degreesText(longitude)));

  const std::string_view date = nmeaField(line, kRmcDate);
  if (!date.empty())
    fix.editRmcDateTime([&](RmcDateTime& t) {
      t.day = digitPair(date, 0), t.month = digitPair(date, 2), t.year = 2000 + digitPair(date, 4);
    });
}

void showGsa(DisplayContext& d) {
  UiModel& ui = d.path.ui;
  ReceiverSession& s = d.path.session;
  FixResults& fix = d.path.data.fix;
  const StoredLine stored = d.path.data.sentences.gsaText();
  const std::string_view line = lineBody(stored.view());

  const std::string_view mode = nmeaField(line, kGsaMode);
  const char m = mode.empty() ? '\0' : mode.front();
  if (m == '\0' || m == '1') {
    fix.fix2D = false, fix.fix3D = false;
    ui.setText(kInfo, ids::kInfoFix, "No fix");
  } else if (m == '2' || m == '3') {
    const bool is3D = m == '3';
    fix.fix2D = !is3D, fix.fix3D = is3D;
    const char* fixText = is3D ? "3D fix" : "2D fix";
    if (d.path.data.ttff.ttffRunning) {
      const uint32_t seconds = elapsedSeconds(d);
      if (seconds < kTtffMinimumSeconds) return;
      ui.setText(kInfo, ids::kInfoTtff, format(is3D ? "3D %us" : "2D %us", seconds));
      s.restartKind = RestartKind::None;
      endMeasurement(d);
      ui.setText(kInfo, ids::kInfoFix, fixText);
    } else if (!s.restartPending) {
      ui.setText(kInfo, ids::kInfoFix, fixText);
    }
  }

  size_t characters = 0;
  for (size_t k = 0; k < kUsedSatelliteSlots; ++k) {
    const std::string_view id = nmeaField(line, kGsaFirstId + static_cast<int>(k));
    fix.usedSatellites[k] = decimalValue(id);
    characters += id.size();
  }
  // Ids are written with two digits.
  ui.setText(kInfo, ids::kInfoUsed, format("%zu", characters / 2));
}

void showSvMeasurements(DisplayContext& d) {
  VbiCopy copy;
  const int32_t length = d.path.data.vbi.measurement(copy);
  const SvMeasurements m = decodeSvMeasurements(copy, length);
  UiModel& ui = d.path.ui;
  const FixResults& fix = d.path.data.fix;
  const int channels = std::min(static_cast<int>(m.count), kMeasChannels);
  for (int k = 0; k < channels; ++k) {
    const SvMeasurement& r = m.records[static_cast<size_t>(k)];
    const int level = static_cast<int>(r.signal / 1000);
    if (level != 0) {
      ui.setText(kInfo, ids::kInfoChannelBars[k], format("%d", level));
      drawSignalBar(ui, k, level, fix.hasFix() && fix.isUsed(r.prn) ? kBarUsed : kBarNotUsed);
    }
    ui.setText(kInfo, ids::kInfoChannelLabels[k], format("%d", r.prn));
  }
}

void showPvtSolution(DisplayContext& d) {
  VbiCopy copy;
  d.path.data.vbi.selectedSolution(copy);
  const PvtSolution pvt = decodePvtSolution(std::span<const uint8_t>(copy).subspan(kPayloadAt));
  UiModel& ui = d.path.ui;
  FixResults& fix = d.path.data.fix;

  if (pvt.fix != PvtFix::None) {
    const bool is3D = pvt.fix == PvtFix::Fix3D;
    fix.fix3D = is3D, fix.fix2D = !is3D;
    ui.setText(kInfo, ids::kInfoFix, is3D ? "3D fix" : "2D fix");
    d.path.session.restartKind = RestartKind::None;
  } else {
    fix.fix2D = false, fix.fix3D = false;
    ui.setText(kInfo, ids::kInfoFix, "No fix");
  }

  // Slots past the ones written keep what they held.
  for (size_t k = 0; k < static_cast<size_t>(pvt.used) && k < kUsedSatelliteSlots; ++k)
    fix.usedSatellites[k] = pvt.usedIds[k];
  ui.setText(kInfo, ids::kInfoUsed, format("%d", pvt.used));
  ui.setText(kInfo, ids::kInfoUtc, format("%d:%d:%d", pvt.hour, pvt.minute, pvt.second));

  auto positionText = [](double v, char hemisphere) {
    char buf[kPositionTextCapacity];
    std::snprintf(buf, sizeof buf, "%f %c", v, hemisphere);  // an absurd value is cut, never overruns
    return std::string(buf);
  };
  ui.setText(kInfo, ids::kInfoLatitude, positionText(pvt.latitudeRad * kPvtDegreesPerRadian, 'N'));
  ui.setText(kInfo, ids::kInfoLongitude, positionText(pvt.longitudeRad * kPvtDegreesPerRadian, 'E'));
}

}  // namespace ferrolan
