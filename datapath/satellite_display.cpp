#include "datapath/satellite_display.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <string>
#include <string_view>
#include <utility>

#include "core/text.h"
#include "datapath/nmea_fields.h"

namespace ferrolan {

namespace {

constexpr WindowId kInfo = WindowId::InfoPage;

// GSV: the total-messages and message-number digits, and field 3.
constexpr size_t kGsvTotalAt = 7, kGsvNumberAt = 9, kGsvInViewAt = 11;
constexpr int kGsvStoredParts = 5, kGroupsPerPart = 4;
// Bar entries: five parts of four satellites, texts of at most four characters.
constexpr size_t kMaxBarEntries = kGsvStoredParts * kGroupsPerPart, kBarTextChars = 4;
// A strong signal keeps its first two characters and hides the weak bars.
constexpr int kStrongSignal = 53, kStrongThreshold = 35;
constexpr size_t kStrongSignalChars = 2;

// Sky plot geometry, relative to the origin; at most 12 satellites.
constexpr int kHorizon = 54, kPlotSpan = 108, kDiscMargin = 20, kDotRadius = 8;
constexpr int kRingInsets[] = {0, 18, 36};
constexpr int kPlottedSatellites = 12;
constexpr double kRadiansPerDegree = 0.0175;
constexpr Color kWhite{255, 255, 255}, kRingFill{128, 255, 255}, kRed{255, 0, 0}, kDot{0, 0, 255},
    kDefaultPen{0, 0, 0};

struct BarEntry {
  std::string id, signal;
};

DrawOp shape(DrawOp::Kind kind, int x1, int y1, int x2, int y2) {
  DrawOp op;
  op.kind = kind;
  op.x1 = x1, op.y1 = y1, op.x2 = x2, op.y2 = y2;
  return op;
}

DrawOp fill(int x1, int y1, int x2, int y2, Color c) {
  DrawOp op = shape(DrawOp::Kind::FillRect, x1, y1, x2, y2);
  op.brush = c;
  return op;
}

DrawOp ellipse(int x1, int y1, int x2, int y2, Color pen, Color brush) {
  DrawOp op = shape(DrawOp::Kind::Ellipse, x1, y1, x2, y2);
  op.pen = pen, op.brush = brush;
  return op;
}

DrawOp line(int x1, int y1, int x2, int y2, Color pen) {
  DrawOp op = shape(DrawOp::Kind::Line, x1, y1, x2, y2);
  op.pen = pen;
  return op;
}

// A hostile elevation or azimuth still lands on some pixel.
int offset(double v) { return static_cast<int>(std::clamp(v, -1e6, 1e6)); }

int digitValue(std::string_view l, size_t at) { return at < l.size() ? l[at] - '0' : -1; }

void sortBars(std::array<BarEntry, kMaxBarEntries>& bars, size_t m, int mode) {
  if (mode != kSortById && mode != kSortBySignal) return;
  for (size_t pass = 1; pass < m; ++pass)
    for (size_t i = 0; i + 1 < m; ++i) {
      bool swap;
      if (mode == kSortById) {
        swap = decimalValue(bars[i].id) > decimalValue(bars[i + 1].id);
      } else {
        const int a = decimalValue(bars[i].signal), b = decimalValue(bars[i + 1].signal);
        swap = a != 0 && b != 0 && a < b;  // an untracked satellite stays where it is
      }
      if (swap) std::swap(bars[i], bars[i + 1]);
    }
}

}  // namespace

void drawSignalBar(UiModel& ui, int channel, int signal, Color color) {
  if (channel < 0 || channel >= kChannels) return;
  const int bar = ids::kInfoChannelBars[channel];
  const ClientSize size = ui.clientSize(kInfo, bar);
  const int top = std::clamp(size.height - signal / 2, 0, std::max(size.height, 0));
  ui.drawOnSurface(kInfo, bar, {fill(0, top, size.width, size.height, color)});
}

void cleanDisplays(DisplayContext& d) {
  UiModel& ui = d.path.ui;
  const bool info = d.flags.infoPageActive;
  for (int c = 0; c < kChannels; ++c) {
    const int bar = ids::kInfoChannelBars[c];
    if (info) {
      const ClientSize size = ui.clientSize(kInfo, bar);
      ui.drawOnSurface(kInfo, bar, {fill(0, 0, size.width, size.height, kBarBlank)});
    }
    ui.setText(kInfo, ids::kInfoChannelLabels[c], "");
    ui.setText(kInfo, bar, "");
  }
  if (!info) {
    d.path.textLog.reset();
    ui.setProgress(WindowId::TextPage, ids::kTextProgress, 0);
  }
}

PlotOrigin skyPlotOrigin(bool isPocketPC, bool isPortrait) {
  if (isPocketPC) return isPortrait ? PlotOrigin{60, 50} : PlotOrigin{90, 30};
  return {80, 50};
}

std::vector<DrawOp> skyPlot(const SkyTables& sky, int x0, int y0) {
  std::vector<DrawOp> ops;
  ops.push_back(ellipse(x0 - kDiscMargin, y0 - kDiscMargin, x0 + kPlotSpan + kDiscMargin,
                        y0 + kPlotSpan + kDiscMargin, kWhite, kWhite));
  for (int inset : kRingInsets)
    ops.push_back(ellipse(x0 + inset, y0 + inset, x0 + kPlotSpan - inset, y0 + kPlotSpan - inset, kRed, kRingFill));
  ops.push_back(line(x0 + kHorizon, y0, x0 + kHorizon, y0 + kPlotSpan, kRed));
  ops.push_back(line(x0, y0 + kHorizon, x0 + kPlotSpan, y0 + kHorizon, kRed));
  for (int i = 0; i < sky.satellitesInView && i < kPlottedSatellites; ++i) {
    const auto slot = static_cast<size_t>(i);
    // 90 degrees is the centre, 0 the outer ring.
    const int64_t r = kHorizon - (static_cast<int64_t>(sky.elevation[slot]) * kPlotSpan) / 180;
    const double a = sky.azimuth[slot] * kRadiansPerDegree;
    const int x = x0 + kHorizon + offset(static_cast<double>(r) * std::sin(a));
    const int y = y0 + kHorizon - offset(static_cast<double>(r) * std::cos(a));
    ops.push_back(ellipse(x - kDotRadius, y - kDotRadius, x + kDotRadius, y + kDotRadius, kDefaultPen, kDot));
    DrawOp label = shape(DrawOp::Kind::Text, x - 6, y - 10, x + 10, y + 6);
    label.text = latin1ToUtf8(format("%2s", sky.labels[slot].data()));
    label.format = kDtBottom;
    label.textColor = kWhite;
    ops.push_back(std::move(label));
  }
  return ops;
}

void showGsv(DisplayContext& d) {
  SkyTables& sky = d.path.data.sky;
  const SentenceStore& store = d.path.data.sentences;
  const bool info = d.flags.infoPageActive;
  int threshold = 0;
  {
    const StoredLine first = store.gsvText(1);
    const std::string_view l = lineBody(first.view());
    sky.satellitesInView = l.size() > kGsvInViewAt ? decimalValue(l.substr(kGsvInViewAt)) : 0;
  }
  size_t k = 0, m = 0;
  std::array<BarEntry, kMaxBarEntries> bars;
  const int parts = std::min(store.gsvTotal.load(), kGsvStoredParts);
  for (int p = 1; p <= parts; ++p) {
    const StoredLine stored = store.gsvText(p);
    const std::string_view l = lineBody(stored.view());
    const int number = digitValue(l, kGsvNumberAt), total = digitValue(l, kGsvTotalAt);
    if (number == 1 && info) cleanDisplays(d);
    if (number >= 1 && number <= 5 && total >= 1 && total <= 5 && number > total) continue;
    if (l.size() <= kGsvInViewAt) continue;
    FieldCursor cursor(l, kGsvInViewAt);
    if (cursor.next().end != ',') continue;  // field 3 ends the part
    for (int g = 0; g < kGroupsPerPart; ++g) {
      const FieldCursor::Field id = cursor.next();
      if (id.end != ',') break;
      // The slot counts once its id is read, even if the group is cut short.
      const bool slotted = k < kSkySlots;
      if (slotted) {
        auto& label = sky.labels[k];
        label.fill('\0');
        std::copy_n(id.text.begin(), std::min<size_t>(id.text.size(), 2), label.begin());
        ++k;
      }
      const FieldCursor::Field elevation = cursor.next();
      if (elevation.end != ',') break;
      if (slotted) sky.elevation[k - 1] = decimalValue(elevation.text);
      const FieldCursor::Field azimuth = cursor.next();
      if (azimuth.end != ',') break;
      if (slotted) sky.azimuth[k - 1] = decimalValue(azimuth.text);
      const FieldCursor::Field signal = cursor.next();
      if (info && decimalValue(id.text) != 0 && m < kMaxBarEntries) {
        BarEntry& e = bars[m++];
        e.id = latin1ToUtf8(id.text.substr(0, kBarTextChars));
        std::string_view level = signal.text.substr(0, kBarTextChars);
        // The last satellite added decides the threshold for all bars.
        if (decimalValue(level) >= kStrongSignal) {
          level = level.substr(0, kStrongSignalChars);
          threshold = kStrongThreshold;
        } else {
          threshold = 0;
        }
        e.signal = latin1ToUtf8(level);
      }
      if (signal.end != ',') break;
    }
  }

  if (d.flags.skyPageActive) {
    const PlotOrigin o = skyPlotOrigin(d.isPocketPC, d.isPortrait);
    d.path.ui.setSurface(WindowId::SkyPage, 0, skyPlot(sky, o.x0, o.y0));
  }
  if (!info) return;
  sortBars(bars, m, d.flags.sortMode);
  m = std::min<size_t>(m, kChannels);
  UiModel& ui = d.path.ui;
  const FixResults& fix = d.path.data.fix;
  for (size_t c = 0; c < m; ++c) {
    ui.setText(kInfo, ids::kInfoChannelLabels[c], bars[c].id);
    ui.setText(kInfo, ids::kInfoChannelBars[c], bars[c].signal);
    const int signal = decimalValue(bars[c].signal);
    if (signal > threshold)
      drawSignalBar(ui, static_cast<int>(c), signal,
                    fix.hasFix() && fix.isUsed(decimalValue(bars[c].id)) ? kBarUsed : kBarNotUsed);
  }
}

}  // namespace ferrolan
