#include "export/html_report.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <limits>
#include <map>
#include <string_view>
#include <utility>

#include "core/text.h"

namespace ferrolan::track {

double Ticks::at(int i) const { return (std::round(first / step) + i) * step; }

int Ticks::decimals() const { return std::clamp(static_cast<int>(-std::floor(std::log10(step) + 1e-9)), 0, 12); }

namespace {

// 1, 2, 5 or 10 times a power of ten, the nearest to x (> 0).
double niceStep(double x) {
  const double power = std::pow(10.0, std::floor(std::log10(x)));
  const double f = x / power;
  return (f < 1.5 ? 1 : f < 3 ? 2 : f < 7 ? 5 : 10) * power;
}

}  // namespace

Ticks niceTicks(double lo, double hi, int target) {
  // Far beyond any position, altitude or time of a log; keeps the range finite.
  constexpr double kLimit = 1e15;
  if (!std::isfinite(lo)) lo = 0;
  if (!std::isfinite(hi)) hi = lo;
  lo = std::clamp(lo, -kLimit, kLimit);
  hi = std::clamp(hi, -kLimit, kLimit);
  if (lo > hi) std::swap(lo, hi);
  if (hi - lo <= 1e-9 * std::max(1.0, std::fabs(lo))) {
    const double pad = lo == 0 ? 1 : std::fabs(lo) * 0.1;
    lo -= pad;
    hi += pad;
  }
  Ticks t;
  t.step = niceStep((hi - lo) / std::max(target, 1));
  // The slack keeps 0.3 / 0.1 = 2.9999999999999996 from adding a tick.
  const double first = std::floor(lo / t.step + 1e-9), last = std::ceil(hi / t.step - 1e-9);
  t.first = first * t.step;
  t.count = std::max(2, static_cast<int>(last - first) + 1);
  return t;
}

double roundLength(double metres) {
  if (!(metres > 0) || !std::isfinite(metres)) return 0;
  const double power = std::pow(10.0, std::floor(std::log10(metres)));
  const double f = metres / power * (1 + 1e-9);
  return (f >= 10 ? 10 : f >= 5 ? 5 : f >= 2 ? 2 : 1) * power;
}

namespace {

// Up to two decimals, without trailing zeros: "0.5", "20".
std::string trimmed(double v) {
  std::string s = format("%.2f", v);
  while (s.back() == '0') s.pop_back();
  if (s.back() == '.') s.pop_back();
  return s;
}

}  // namespace

std::string lengthText(double metres) {
  if (metres >= 1000) return trimmed(metres / 1000) + " km";
  if (metres >= 1) return trimmed(metres) + " m";
  if (metres >= 0.01) return trimmed(metres * 100) + " cm";
  return trimmed(metres * 1000) + " mm";
}

TimeUnit timeUnitFor(double spanSeconds) {
  if (spanSeconds <= 120) return {"s", 1};
  if (spanSeconds <= 7200) return {"min", 60};
  return {"h", 3600};
}

namespace {

// Mid-tone colours that read on white and on near black alike; a satellite
// past the tenth takes a colour again with another dash.
constexpr std::array<std::string_view, 10> kSeriesColours = {
    "#3b82c4", "#e8772e", "#2ca25f", "#d6404e", "#9467bd",
    "#17a2b8", "#c7a400", "#e377c2", "#8c8c3a", "#a0703c"};
constexpr std::array<std::string_view, 3> kDashes = {"", "7 3", "2 3"};
// By Fix: none, 2D, 3D.
constexpr std::array<std::string_view, 3> kFixColours = {"#d6404e", "#e0a500", "#2ca25f"};
constexpr std::array<std::string_view, 3> kFixLabels = {"no fix", "2D fix", "3D fix"};

// The plots' view boxes; the page scales them to its width.
constexpr double kWidth = 720;
constexpr double kMapSize = 480;
constexpr double kLeft = 62, kRight = 58, kTop = 14, kBottom = 46;

// A satellite plot with more lines than this gets a legend besides the
// labels at the lines' ends, which may then sit close together.
constexpr size_t kCrowded = 8;

std::string fixed(double v, int decimals) {
  // No "-0.0".
  if (std::fabs(v) < 0.5 * std::pow(10.0, -decimals)) v = 0;
  return format("%.*f", decimals, v);
}

// A coordinate of the view box; one far outside it is still a short number.
std::string c(double v) { return fixed(std::clamp(v, -1e6, 1e6), 1); }

void escapeHtml(std::string& out, std::string_view text) {
  for (size_t i = 0; i < text.size();) {
    const auto b = static_cast<unsigned char>(text[i]);
    if (b < 0x80) {
      switch (b) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '\'': out += "&#39;"; break;
        default: out += b < 0x20 || b == 0x7F ? '?' : static_cast<char>(b);
      }
      ++i;
      continue;
    }
    const size_t n = utf8SequenceLength(text, i);
    if (n == 0) {
      out += "\xEF\xBF\xBD";
      ++i;
    } else {
      out.append(text.substr(i, n));
      i += n;
    }
  }
}

// Positions along an axis: the first tick at `from`, the last at `to`.
struct Scale {
  Ticks ticks;
  double from = 0, to = 1;
  double operator()(double v) const {
    return from + (v - ticks.first) / (ticks.last() - ticks.first) * (to - from);
  }
};

// The area inside the axes, in the view box; x in seconds of the log,
// shown in `unit`.
struct Plot {
  double width = kWidth, height = 0;
  double left = kLeft, top = kTop, right = 0, bottom = 0;
  Scale x, y;
  TimeUnit unit{"s", 1};
  double px(double seconds) const { return x(seconds / unit.seconds); }
};

Plot plotArea(double width, double height, const Ticks& x, const Ticks& y) {
  Plot p;
  p.width = width;
  p.height = height;
  p.right = width - kRight;
  p.bottom = height - kBottom;
  p.x = {x, p.left, p.right};
  p.y = {y, p.bottom, p.top};
  return p;
}

// A plot over the log's time: the axis in s, min or h by the span.
Plot timePlot(double height, double spanSeconds, const Ticks& y) {
  const TimeUnit unit = timeUnitFor(spanSeconds);
  Plot p = plotArea(kWidth, height, niceTicks(0, std::max(spanSeconds, 1e-3) / unit.seconds, 8), y);
  p.unit = unit;
  return p;
}

void openSvg(std::string& out, double width, double height, std::string_view label, std::string_view cls = "") {
  out += "<svg viewBox=\"0 0 " + c(width) + " " + c(height) + "\" role=\"img\" aria-label=\"";
  out += label;
  out += "\"";
  if (!cls.empty()) out += " class=\"" + std::string(cls) + "\"";
  out += ">\n";
}

void line(std::string& out, double x1, double y1, double x2, double y2, std::string_view cls) {
  out += "<line class=\"" + std::string(cls) + "\" x1=\"" + c(x1) + "\" y1=\"" + c(y1) + "\" x2=\"" + c(x2) +
         "\" y2=\"" + c(y2) + "\"/>\n";
}

// `body` is escaped already or made here.
void text(std::string& out, double x, double y, std::string_view anchor, std::string_view body,
          std::string_view extra = "") {
  out += "<text x=\"" + c(x) + "\" y=\"" + c(y) + "\" text-anchor=\"" + std::string(anchor) + "\"";
  if (!extra.empty()) out += " " + std::string(extra);
  out += ">";
  out += body;
  out += "</text>\n";
}

// An axis label turned along a vertical axis.
void sideLabel(std::string& out, double x, double y, int degrees, std::string_view body) {
  out += "<text transform=\"translate(" + c(x) + " " + c(y) + ") rotate(" + std::to_string(degrees) +
         ")\" text-anchor=\"middle\" class=\"label\">";
  out += body;
  out += "</text>\n";
}

enum class Side { Bottom, Left, Right };

// The one axis routine: ticks with their round values and the grid (the
// right axis has none of its own), then the axis's label with its unit.
void axis(std::string& out, const Plot& p, Side side, const Scale& s, std::string_view label) {
  out += "<g class=\"axis\">\n";
  const int decimals = s.ticks.decimals();
  for (int i = 0; i < s.ticks.count; ++i) {
    const double v = s.ticks.at(i), at = s(v);
    const std::string value = fixed(v, decimals);
    switch (side) {
      case Side::Bottom:
        line(out, at, p.top, at, p.bottom, "grid");
        line(out, at, p.bottom, at, p.bottom + 5, "tick");
        text(out, at, p.bottom + 18, "middle", value);
        break;
      case Side::Left:
        line(out, p.left, at, p.right, at, "grid");
        line(out, p.left - 5, at, p.left, at, "tick");
        text(out, p.left - 8, at + 4, "end", value);
        break;
      case Side::Right:
        line(out, p.right, at, p.right + 5, at, "tick");
        text(out, p.right + 8, at + 4, "start", value);
        break;
    }
  }
  const double middle = (p.top + p.bottom) / 2;
  switch (side) {
    case Side::Bottom: text(out, (p.left + p.right) / 2, p.bottom + 38, "middle", label, "class=\"label\""); break;
    case Side::Left: sideLabel(out, 16, middle, -90, label); break;
    case Side::Right: sideLabel(out, p.width - 12, middle, 90, label); break;
  }
  out += "</g>\n";
}

std::string timeLabel(const Plot& p) { return std::string("time since the first epoch (") + p.unit.name + ")"; }

// The frame goes over the data, so that lines at the edge stay visible; an
// empty plot says why it is.
void closePlot(std::string& out, const Plot& p, std::string_view empty = "") {
  out += "<rect class=\"frame\" x=\"" + c(p.left) + "\" y=\"" + c(p.top) + "\" width=\"" + c(p.right - p.left) +
         "\" height=\"" + c(p.bottom - p.top) + "\"/>\n";
  if (!empty.empty()) text(out, (p.left + p.right) / 2, (p.top + p.bottom) / 2 + 5, "middle", empty, "class=\"note\"");
  out += "</svg>\n";
}

struct LegendEntry {
  std::string label;
  std::string_view colour, dash;
  bool box = false;  // a filled box (an area) rather than a line
};

// The one legend routine: entries in columns across the plot's width.
void legend(std::string& out, const std::vector<LegendEntry>& entries, std::string_view label) {
  if (entries.empty()) return;
  size_t longest = 0;
  for (const auto& e : entries) longest = std::max(longest, e.label.size());
  const double column = 34 + 7.5 * static_cast<double>(longest);
  const size_t perRow = std::max<size_t>(1, static_cast<size_t>((kWidth - kLeft) / column));
  const size_t rows = (entries.size() + perRow - 1) / perRow;
  openSvg(out, kWidth, 20.0 * static_cast<double>(rows) + 6, label, "legend");
  for (size_t i = 0; i < entries.size(); ++i) {
    const auto& e = entries[i];
    const double x = kLeft + column * static_cast<double>(i % perRow), y = 14 + 20.0 * static_cast<double>(i / perRow);
    if (e.box)
      out += "<rect x=\"" + c(x) + "\" y=\"" + c(y - 9) + "\" width=\"20\" height=\"10\" fill=\"" +
             std::string(e.colour) + "\"/>\n";
    else
      out += "<line x1=\"" + c(x) + "\" y1=\"" + c(y - 4) + "\" x2=\"" + c(x + 20) + "\" y2=\"" + c(y - 4) +
             "\" stroke=\"" + std::string(e.colour) + "\" stroke-width=\"2.5\"" +
             (e.dash.empty() ? "" : " stroke-dasharray=\"" + std::string(e.dash) + "\"") + "/>\n";
    text(out, x + 26, y, "start", e.label);
  }
  out += "</svg>\n";
}

struct Sample {
  double seconds, value;
};

// A gap in time this much longer than the usual step between samples
// breaks a line: no signal or no fix was logged across it.
constexpr double kGapSteps = 3;

double medianStep(const std::vector<double>& seconds) {
  std::vector<double> steps;
  for (size_t i = 1; i < seconds.size(); ++i)
    if (seconds[i] > seconds[i - 1]) steps.push_back(seconds[i] - seconds[i - 1]);
  if (steps.empty()) return 0;
  std::nth_element(steps.begin(), steps.begin() + static_cast<long>(steps.size() / 2), steps.end());
  return steps[steps.size() / 2];
}

double gapOf(const std::vector<Sample>& samples) {
  std::vector<double> seconds;
  for (const auto& s : samples) seconds.push_back(s.seconds);
  const double step = medianStep(seconds);
  return step > 0 ? kGapSteps * step : std::numeric_limits<double>::infinity();
}

// One line through the samples, broken at gaps; a lone sample is a dot.
void series(std::string& out, const Plot& p, const Scale& y, const std::vector<Sample>& samples,
            std::string_view colour, std::string_view dash) {
  const double gap = gapOf(samples);
  out += "<g class=\"series\" stroke=\"" + std::string(colour) + "\" fill=\"" + std::string(colour) + "\"";
  if (!dash.empty()) out += " stroke-dasharray=\"" + std::string(dash) + "\"";
  out += ">\n";
  for (size_t i = 0; i < samples.size();) {
    size_t end = i + 1;
    while (end < samples.size() && samples[end].seconds - samples[end - 1].seconds <= gap) ++end;
    if (end - i == 1) {
      out += "<circle cx=\"" + c(p.px(samples[i].seconds)) + "\" cy=\"" + c(y(samples[i].value)) + "\" r=\"2\"/>\n";
    } else {
      out += "<polyline points=\"";
      for (size_t k = i; k < end; ++k) {
        if (k > i) out += ' ';
        out += c(p.px(samples[k].seconds)) + "," + c(y(samples[k].value));
      }
      out += "\"/>\n";
    }
    i = end;
  }
  out += "</g>\n";
}

Ticks valueTicks(const std::vector<Sample>& samples, int target, std::optional<double> floor = {}) {
  if (samples.empty()) return niceTicks(floor.value_or(0), floor.value_or(0) + 1, target);
  double lo = samples.front().value, hi = lo;
  for (const auto& s : samples) {
    lo = std::min(lo, s.value);
    hi = std::max(hi, s.value);
  }
  // A little room, so that a line along the highest value is not hidden by
  // the frame.
  if (floor) lo = std::min(lo, *floor);
  const double room = (hi - lo) * 0.04;
  hi += room;
  if (!floor) lo -= room;
  return niceTicks(lo, hi, target);
}

template <typename Get>
std::vector<Sample> epochSeries(const Summary& s, Get get) {
  std::vector<Sample> out;
  for (const auto& e : s.epochs)
    if (const auto v = get(e)) out.push_back({e.seconds, static_cast<double>(*v)});
  return out;
}

// The samples the plots can use: in time order, with finite values only, so
// that a summary made by other hands draws no "nan" and no line backwards.
Summary plottable(const Summary& in) {
  constexpr double kLongest = 1e9;  // seconds: thirty years
  const auto usable = [&](double t) { return std::isfinite(t) && t >= 0 && t <= kLongest; };
  const auto finite = [](std::optional<double>& v) {
    if (v && !std::isfinite(*v)) v.reset();
  };
  Summary s;
  s.figures = in.figures;
  s.skipped = in.skipped;
  s.kind = in.kind;
  s.bytes = in.bytes;
  for (EpochSample e : in.epochs) {
    if (!usable(e.seconds)) continue;
    for (auto* v : {&e.east_m, &e.north_m, &e.altitude_m, &e.hdop}) finite(*v);
    if (e.fix > Fix::Fix3D) e.fix = Fix::None;
    s.epochs.push_back(e);
  }
  for (const SignalSample& g : in.signals)
    if (usable(g.seconds)) s.signals.push_back(g);
  std::stable_sort(s.epochs.begin(), s.epochs.end(), [](const auto& a, const auto& b) { return a.seconds < b.seconds; });
  std::stable_sort(s.signals.begin(), s.signals.end(), [](const auto& a, const auto& b) { return a.seconds < b.seconds; });
  return s;
}

double spanOf(const Summary& s) {
  double span = 0;
  for (const auto& e : s.epochs) span = std::max(span, e.seconds);
  for (const auto& g : s.signals) span = std::max(span, g.seconds);
  return std::isfinite(span) ? span : 0;
}

constexpr std::string_view kNoFixes = "no fixes in this log";

// A round length near a quarter of the square, at its lower left.
void scaleBar(std::string& out, const Plot& p, const Ticks& t, double perMetre) {
  const double bar = roundLength((t.last() - t.first) / 4);
  const double x0 = p.left + 12, y0 = p.bottom - 14, x1 = x0 + bar * perMetre;
  out += "<g class=\"scalebar\">\n";
  line(out, x0, y0, x1, y0, "bar");
  line(out, x0, y0 - 5, x0, y0 + 3, "bar");
  line(out, x1, y0 - 5, x1, y0 + 3, "bar");
  text(out, (x0 + x1) / 2, y0 - 6, "middle", lengthText(bar));
  out += "</g>\n";
}

// East and north of the mean, one scale for both so that a circle stays round.
void deviationMap(std::string& out, const Summary& s, double) {
  const Figures& f = s.figures;
  std::vector<std::pair<double, double>> dots;
  double reach = 0;
  for (const auto& e : s.epochs)
    if (e.fix != Fix::None && e.east_m && e.north_m && std::isfinite(*e.east_m) && std::isfinite(*e.north_m)) {
      dots.emplace_back(*e.east_m, *e.north_m);
      reach = std::max({reach, std::fabs(*e.east_m), std::fabs(*e.north_m)});
    }
  const auto radius = [](const std::optional<double>& r) { return r && std::isfinite(*r) && *r > 0 ? *r : 0.0; };
  reach = std::max({reach, radius(f.cep50_m), radius(f.cep95_m)});
  if (!(reach > 0)) reach = 1;
  const Ticks t = niceTicks(-reach * 1.05, reach * 1.05, 6);
  Plot p;
  p.width = p.height = kMapSize;
  p.right = kMapSize - kRight + 40;  // no right axis: the square sits further right
  p.bottom = p.top + (p.right - p.left);
  p.height = p.bottom + kBottom;
  p.x = {t, p.left, p.right};
  p.y = {t, p.bottom, p.top};
  const double perMetre = (p.right - p.left) / (t.last() - t.first);

  openSvg(out, p.width, p.height, "Deviation of each fix from the mean position");
  axis(out, p, Side::Bottom, p.x, "east of the mean (m)");
  axis(out, p, Side::Left, p.y, "north of the mean (m)");
  if (!dots.empty()) {
    out += "<g class=\"dots\" fill=\"" + std::string(kSeriesColours[0]) + "\">\n";
    for (const auto& [e, n] : dots) out += "<circle cx=\"" + c(p.x(e)) + "\" cy=\"" + c(p.y(n)) + "\" r=\"2\"/>\n";
    out += "</g>\n";
    const double cx = p.x(0), cy = p.y(0);
    line(out, cx - 6, cy, cx + 6, cy, "mean");
    line(out, cx, cy - 6, cx, cy + 6, "mean");
    struct Circle {
      const char* name;
      const std::optional<double>& metres;
      std::string_view colour;
    };
    for (const Circle& k : {Circle{"CEP50", f.cep50_m, kSeriesColours[1]}, Circle{"CEP95", f.cep95_m, kSeriesColours[3]}}) {
      const double r = radius(k.metres) * perMetre;
      if (r <= 0) continue;
      out += "<circle class=\"cep\" cx=\"" + c(cx) + "\" cy=\"" + c(cy) + "\" r=\"" + c(r) + "\" stroke=\"" +
             std::string(k.colour) + "\"/>\n";
      // Above the circle, or just inside it where it reaches the frame.
      const double above = cy - r - 5;
      text(out, cx, above < p.top + 14 ? cy - r + 16 : above, "middle", std::string(k.name) + " " + lengthText(*k.metres),
           "class=\"cep-label\"");
    }
    scaleBar(out, p, t, perMetre);
  }
  closePlot(out, p, dots.empty() ? kNoFixes : "");
}


void altitudePlot(std::string& out, const Summary& s, double span) {
  const auto alt = epochSeries(s, [](const EpochSample& e) {
    return e.fix != Fix::None && e.altitude_m && std::isfinite(*e.altitude_m) ? e.altitude_m : std::nullopt;
  });
  const Plot p = timePlot(240, span, valueTicks(alt, 5));
  openSvg(out, p.width, p.height, "Altitude over time");
  axis(out, p, Side::Bottom, p.x, timeLabel(p));
  axis(out, p, Side::Left, p.y, "altitude (m)");
  series(out, p, p.y, alt, kSeriesColours[0], "");
  closePlot(out, p, alt.empty() ? (s.figures.fixes == 0 ? kNoFixes : "no altitude in this log") : "");
}

void satellitesPlot(std::string& out, const Summary& s, double span) {
  const auto used = epochSeries(s, [](const EpochSample& e) { return e.fix != Fix::None ? e.used : std::nullopt; });
  const auto hdop = epochSeries(s, [](const EpochSample& e) {
    return e.fix != Fix::None && e.hdop && std::isfinite(*e.hdop) ? e.hdop : std::nullopt;
  });
  const Plot p = timePlot(240, span, valueTicks(used, 5, 0.0));
  const Scale right{valueTicks(hdop, 5, 0.0), p.bottom, p.top};
  openSvg(out, p.width, p.height, "Satellites used and HDOP over time");
  axis(out, p, Side::Bottom, p.x, timeLabel(p));
  axis(out, p, Side::Left, p.y, "satellites used");
  axis(out, p, Side::Right, right, "HDOP");
  series(out, p, p.y, used, kSeriesColours[0], "");
  series(out, p, right, hdop, kSeriesColours[1], kDashes[1]);
  closePlot(out, p, used.empty() && hdop.empty() ? kNoFixes : "");
  legend(out, {{"satellites used", kSeriesColours[0], ""}, {"HDOP", kSeriesColours[1], kDashes[1]}},
         "Legend of the satellites and HDOP plot");
}

void signalPlot(std::string& out, const Summary& s, double span) {
  std::map<int, std::vector<Sample>> bySatellite;
  std::vector<Sample> all;
  for (const auto& g : s.signals) {
    bySatellite[g.prn].push_back({g.seconds, static_cast<double>(g.cn0)});
    all.push_back({g.seconds, static_cast<double>(g.cn0)});
  }
  const Plot p = timePlot(300, span, valueTicks(all, 5));
  openSvg(out, p.width, p.height, "Signal strength of each satellite over time");
  axis(out, p, Side::Bottom, p.x, timeLabel(p));
  axis(out, p, Side::Left, p.y, "C/N0 (dB-Hz)");
  std::vector<LegendEntry> entries;
  struct Label {
    double x, y;
    std::string text;
    std::string_view colour;
  };
  std::vector<Label> labels;
  size_t index = 0;
  for (auto& [prn, samples] : bySatellite) {
    std::stable_sort(samples.begin(), samples.end(), [](const Sample& a, const Sample& b) { return a.seconds < b.seconds; });
    const std::string_view colour = kSeriesColours[index % kSeriesColours.size()];
    const std::string_view dash = kDashes[(index / kSeriesColours.size()) % kDashes.size()];
    series(out, p, p.y, samples, colour, dash);
    labels.push_back({p.px(samples.back().seconds) + 4, p.y(samples.back().value) + 4, std::to_string(prn), colour});
    entries.push_back({"PRN " + std::to_string(prn), colour, dash});
    ++index;
  }
  // A label that would cover another moves to the nearest free line above
  // or below its place, inside the plot's height.
  constexpr double kLine = 11;
  std::sort(labels.begin(), labels.end(), [](const Label& a, const Label& b) { return a.y < b.y; });
  std::vector<Label> placed;
  for (Label l : labels) {
    const double want = std::clamp(l.y, p.top + 8, p.bottom + 4);
    l.y = want;
    for (int k = 0; k < 64; ++k) {
      const double y = want + kLine * ((k + 1) / 2) * (k % 2 ? 1 : -1);
      if (y < p.top + 8 || y > p.bottom + 4) continue;
      const bool clash = std::any_of(placed.begin(), placed.end(), [&](const Label& o) {
        return std::fabs(o.x - l.x) < 22 && std::fabs(o.y - y) < kLine;
      });
      if (!clash) {
        l.y = y;
        break;
      }
    }
    // A style, not a fill attribute, which the text's CSS colour would override.
    text(out, l.x, l.y, "start", l.text, "class=\"prn\" style=\"fill: " + std::string(l.colour) + "\"");
    placed.push_back(l);
  }
  closePlot(out, p, bySatellite.empty() ? "no signals in this log" : "");
  if (bySatellite.size() > kCrowded) legend(out, entries, "Legend of the signal plot");
}

// The fix of each epoch as a coloured band; an epoch holds until the next,
// or for the usual step when a gap follows.
void fixBand(std::string& out, const Summary& s, double span) {
  Plot p = timePlot(120, span, Ticks{});
  openSvg(out, p.width, p.height, "Fix mode over time");
  axis(out, p, Side::Bottom, p.x, timeLabel(p));
  std::vector<double> seconds;
  for (const auto& e : s.epochs) seconds.push_back(e.seconds);
  const double step = medianStep(seconds);
  for (size_t i = 0; i < s.epochs.size();) {
    const Fix fix = s.epochs[i].fix;
    size_t end = i + 1;
    while (end < s.epochs.size() && s.epochs[end].fix == fix &&
           s.epochs[end].seconds - s.epochs[end - 1].seconds <= kGapSteps * step)
      ++end;
    const double from = s.epochs[i].seconds;
    double to = s.epochs[end - 1].seconds + step;
    if (end < s.epochs.size() && s.epochs[end].seconds - s.epochs[end - 1].seconds <= kGapSteps * step)
      to = s.epochs[end].seconds;
    const double x0 = p.px(from), x1 = std::min(p.right, std::max(p.px(to), x0 + 1));
    out += "<rect x=\"" + c(x0) + "\" y=\"" + c(p.top) + "\" width=\"" + c(x1 - x0) + "\" height=\"" +
           c(p.bottom - p.top) + "\" fill=\"" + std::string(kFixColours[static_cast<size_t>(fix) % 3]) + "\"/>\n";
    i = end;
  }
  closePlot(out, p, s.epochs.empty() ? "no epochs in this log" : "");
  std::vector<LegendEntry> entries;
  for (size_t f = 0; f < kFixColours.size(); ++f) entries.push_back({std::string(kFixLabels[f]), kFixColours[f], "", true});
  legend(out, entries, "Legend of the fix mode band");
}

struct SkipRow {
  const char* what;
  size_t Skipped::*count;
};
constexpr SkipRow kSkipRows[] = {
    {"garbage (lines or bytes that are no sentence or frame)", &Skipped::garbage},
    {"bad checksum", &Skipped::checksum},
    {"cut short or out of range", &Skipped::fields},
    {"intact but of kinds not used (not skipped)", &Skipped::ignored},
};

void row(std::string& out, std::initializer_list<std::string_view> cells) {
  out += "<tr>";
  bool first = true;
  for (const auto cell : cells) {
    out += first ? "<th scope=\"row\">" : "<td>";
    out += cell;
    out += first ? "</th>" : "</td>";
    first = false;
  }
  out += "</tr>\n";
}

void figuresTable(std::string& out, const Summary& s) {
  out += "<div class=\"wide\"><table>\n<thead><tr><th>key</th><th>figure</th><th>value</th><th>unit</th></tr></thead>\n<tbody>\n";
  for (const FigureRow& r : kFigureRows) {
    std::string value = "\xE2\x80\x94";  // an em dash where the log gives no figure
    if (r.count) value = std::to_string(s.figures.*r.count);
    else if (const auto& v = s.figures.*r.value; v && std::isfinite(*v)) value = fixed(*v, r.decimals);
    row(out, {r.key, r.what, value, r.unit});
  }
  out += "</tbody>\n</table></div>\n<h3>Skipped</h3>\n<div class=\"wide\"><table>\n<tbody>\n";
  for (const SkipRow& r : kSkipRows) row(out, {r.what, std::to_string(s.skipped.*r.count)});
  row(out, {"skipped in all", std::to_string(s.skipped.total())});
  out += "</tbody>\n</table></div>\n";
}

constexpr std::string_view kStyle = R"(
:root { color-scheme: light dark; --fg: #1b1b1b; --bg: #ffffff; --muted: #5c5c5c;
  --grid: rgba(128, 128, 128, 0.28); --rule: rgba(128, 128, 128, 0.5); }
@media (prefers-color-scheme: dark) {
  :root { --fg: #e6e6e6; --bg: #161616; --muted: #a9a9a9; }
}
body { margin: 0 auto; padding: 1rem; max-width: 80rem; color: var(--fg); background: var(--bg);
  font: 15px/1.45 system-ui, sans-serif; }
h1 { font-size: 1.5rem; margin: 0 0 0.2rem; overflow-wrap: anywhere; }
h2 { font-size: 1.15rem; margin: 1.6rem 0 0.4rem; }
h3 { font-size: 1rem; margin: 1rem 0 0.3rem; }
.sub { color: var(--muted); margin: 0 0 1rem; }
.wide { overflow-x: auto; }
.top { display: flex; flex-wrap: wrap; gap: 0 2.5rem; align-items: flex-start; }
.top .cell { flex: 1 1 26rem; min-width: 0; }
@media (max-width: 40rem) { body { font-size: 14px; padding: 0.6rem; } th, td { padding-right: 0.5rem; } }
table { border-collapse: collapse; }
th, td { text-align: left; padding: 0.2rem 0.8rem 0.2rem 0; border-bottom: 1px solid var(--rule); }
td:nth-child(3) { font-variant-numeric: tabular-nums; }
td:nth-child(4) { white-space: nowrap; }
.plot { overflow-x: auto; }
.plot svg { display: block; width: 100%; min-width: 30rem; max-width: 56rem; height: auto; }
.plot.map svg { max-width: 34rem; min-width: 18rem; }
svg text { fill: currentColor; font-size: 13px; }
svg .label { font-size: 14px; }
svg .note { font-size: 18px; fill: var(--muted); }
.frame { fill: none; stroke: currentColor; stroke-width: 1; }
.tick, .bar, .mean { stroke: currentColor; stroke-width: 1.5; }
.grid { stroke: var(--grid); stroke-width: 1; }
.series polyline { fill: none; stroke-width: 2; stroke-linejoin: round; }
.series circle { stroke: none; }
.cep { fill: none; stroke-width: 2; stroke-dasharray: 6 4; }
.cep-label, .prn { font-weight: 600; }
svg.legend { min-width: 30rem; max-width: 56rem; }
@media print {
  :root { --fg: #000000; --bg: #ffffff; --muted: #444444; }
  body { max-width: none; padding: 0; font-size: 11pt; }
  .page { break-before: page; break-inside: avoid; }
  .plot, .wide { overflow: visible; }
  .plot svg, svg.legend { min-width: 0; }
}
)";

}  // namespace

std::string htmlReport(const Summary& summary, const std::string& title) {
  const Summary s = plottable(summary);
  std::string name;
  escapeHtml(name, title);
  const double span = spanOf(s);
  std::string out =
      "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\"/>\n"
      "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\"/>\n"
      "<meta name=\"color-scheme\" content=\"light dark\"/>\n"
      // Should anything in the page still point outside it, the browser refuses to load it.
      "<meta http-equiv=\"Content-Security-Policy\" content=\"default-src 'none'; style-src 'unsafe-inline'\"/>\n"
      "<meta name=\"generator\" content=\"ferrolan-export " FERROLAN_VERSION "\"/>\n<title>";
  out += name + "</title>\n<style>";
  out += kStyle;
  out += "</style>\n</head>\n<body>\n<h1>" + name + "</h1>\n<p class=\"sub\">";
  out += format("%s log of %llu bytes: %zu epochs, %zu with a fix, over %s %s.", s.kind == LogKind::Nmea ? "NMEA" : "VBI",
                static_cast<unsigned long long>(s.bytes), s.figures.epochs, s.figures.fixes,
                trimmed(span / timeUnitFor(span).seconds).c_str(), timeUnitFor(span).name);
  // The figures and the map side by side where the screen is wide enough.
  out += "</p>\n<div class=\"top\">\n<div class=\"cell\">\n<h2>Figures</h2>\n";
  figuresTable(out, s);
  out += "</div>\n";

  struct Section {
    const char* heading;
    const char* cls;
    bool besideFigures;
    void (*draw)(std::string&, const Summary&, double);
  };
  constexpr Section kSections[] = {
      {"Deviation from the mean position", "plot map", true, deviationMap},
      {"Altitude", "plot", false, altitudePlot},
      {"Satellites used and HDOP", "plot", false, satellitesPlot},
      {"Signal strength of each satellite", "plot", false, signalPlot},
      {"Fix mode", "plot", false, fixBand},
  };
  for (const Section& sec : kSections) {
    out += sec.besideFigures ? "<div class=\"page cell\">\n<h2>" : "<div class=\"page\">\n<h2>";
    out += sec.heading;
    out += "</h2>\n<div class=\"";
    out += sec.cls;
    out += "\">\n";
    sec.draw(out, s, span);
    out += "</div>\n</div>\n";
    if (sec.besideFigures) out += "</div>\n";
  }
  out += "</body>\n</html>\n";
  return out;
}

}  // namespace ferrolan::track
