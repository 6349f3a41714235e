// The HTML report of a log: its round ticks and scale bar, what the page
// holds for a hand-made summary and an empty one, its markup through
// xmllint, and the page in a real browser (headless Chromium, no network).

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <regex>
#include <sstream>

#include "core/text.h"
#include "export/export_program.h"
#include "export/html_report.h"
#include "platform/process.h"
#include "tests/support/files.h"
#include "tests/support/peers.h"

namespace ferrolan {
namespace {

using namespace std::string_literals;
using track::Fix;

size_t occurrences(const std::string& text, const std::string& what) {
  if (what.empty()) return 0;
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + what.size())) ++n;
  return n;
}

TEST(HtmlReport, TicksAreRoundAndCoverTheRange) {
  const double nan = std::nan("");
  const double inf = HUGE_VAL;
  struct Row {
    double lo, hi;
    int target;
    double first, step;
    int count, decimals;
  };
  for (const Row& r : {
           Row{0, 10, 5, 0, 2, 6, 0}, Row{0, 1, 5, 0, 0.2, 6, 1}, Row{0.3, 9.7, 5, 0, 2, 6, 0},
           Row{-3.2, 3.2, 6, -4, 1, 9, 0}, Row{512, 547, 5, 510, 10, 5, 0},
           Row{0, 120, 8, 0, 20, 7, 0},  // two hours in minutes
           Row{0.0012, 0.0047, 5, 0.001, 0.001, 5, 3},
           Row{0.3, 0.6, 3, 0.3, 0.1, 4, 1},  // 0.3 / 0.1 is 2.9999999999999996
           Row{10, 0, 5, 0, 2, 6, 0},         // reversed
           Row{5, 5, 5, 4.4, 0.2, 7, 1},      // one value: widened around it
           Row{0, 0, 5, -1, 0.5, 5, 1},
           Row{nan, inf, 5, -1, 0.5, 5, 1},  // nothing finite: around zero
       }) {
    SCOPED_TRACE(format("[%g, %g] / %d", r.lo, r.hi, r.target));
    const track::Ticks t = track::niceTicks(r.lo, r.hi, r.target);
    EXPECT_NEAR(t.first, r.first, 1e-12);
    EXPECT_NEAR(t.step, r.step, 1e-12);
    EXPECT_EQ(t.count, r.count);
    EXPECT_EQ(t.decimals(), r.decimals);
    if (std::isfinite(r.lo) && std::isfinite(r.hi)) {
      EXPECT_LE(t.first, std::min(r.lo, r.hi) + 1e-12);
      EXPECT_GE(t.last(), std::max(r.lo, r.hi) - 1e-12);
    }
  }
  // A tick at zero is zero, not a rounding error that prints as "-0".
  EXPECT_EQ(track::niceTicks(-0.3, 0.3, 6).at(3), 0.0);
}

TEST(HtmlReport, ScaleBarIsTheLongestRoundLengthThatFits) {
  struct Row {
    double room, length;
    const char* text;
  };
  for (const Row& r : {Row{7.3, 5, "5 m"}, Row{1, 1, "1 m"}, Row{19.99, 10, "10 m"}, Row{0.5, 0.5, "50 cm"},
                       Row{0.26, 0.2, "20 cm"}, Row{0.004, 0.002, "2 mm"}, Row{2000, 2000, "2 km"},
                       Row{4999, 2000, "2 km"}, Row{0, 0, ""}, Row{-3, 0, ""}, Row{std::nan(""), 0, ""}}) {
    SCOPED_TRACE(r.room);
    EXPECT_NEAR(track::roundLength(r.room), r.length, r.length * 1e-12);
    if (r.length > 0) {
      EXPECT_EQ(track::lengthText(r.length), r.text);
    }
  }
  for (const auto& [span, unit] : {std::pair{0.0, "s"}, {120.0, "s"}, {121.0, "min"}, {7200.0, "min"}, {7201.0, "h"}})
    EXPECT_STREQ(track::timeUnitFor(span).name, unit) << span;
}

// A minute of a log: no fix, then 2D, then 3D, a gap of five seconds, two
// satellites, and a figure missing.
track::Summary handMade() {
  track::Summary s;
  s.bytes = 123456;
  for (int i = 0; i < 60; ++i) {
    if (i >= 45 && i < 50) continue;
    track::EpochSample e;
    e.seconds = i;
    e.fix = i < 10 ? Fix::None : i < 20 ? Fix::Fix2D : Fix::Fix3D;
    if (e.fix != Fix::None) {
      e.east_m = 1.5 * std::cos(i * 0.7) * (i % 5) / 4;
      e.north_m = 1.2 * std::sin(i * 0.7) * (i % 4) / 3;
      e.altitude_m = 540 + 0.1 * i;
      e.hdop = e.fix == Fix::Fix2D ? 1.8 : 0.9;
      e.used = e.fix == Fix::Fix2D ? 4 : 7 + i % 3;
    }
    s.epochs.push_back(e);
    if (i >= 5) {
      s.signals.push_back({e.seconds, 12, 30 + i / 3});
      s.signals.push_back({e.seconds, 25, 42 - i % 7});
    }
  }
  s.figures = {.fixes = 40, .epochs = 55, .duration_s = 59, .fix_rate = 40.0 / 55, .lat = 48.1173, .lon = 11.5167,
               .cep50_m = 0.8, .cep95_m = 1.6, .drms2_m = 2.1, .alt_mean_m = 543.2, .alt_sd_m = 1.2,
               .hdop_mean = 1.1, .sats_used_mean = 7.4, .cn0_mean_dbhz = 36.3, .ttff_s = std::nullopt};
  s.skipped = {3, 1, 2, 40};
  return s;
}

// The hand-made log with samples no reader makes: out of order, times and
// values that are not numbers, an altitude far off, a fix mode past 3D.
track::Summary odd() {
  track::Summary s = handMade();
  std::reverse(s.epochs.begin(), s.epochs.end());
  std::reverse(s.signals.begin(), s.signals.end());
  const double nan = std::nan("");
  s.epochs.push_back({nan, Fix::Fix3D, 1.0, 1.0, 1.0, 1.0, 5});
  s.epochs.push_back({-HUGE_VAL, Fix::Fix3D, 1.0, 1.0, 1.0, 1.0, 5});
  s.epochs[3].altitude_m = 1e300;
  s.epochs[4].hdop = nan;
  s.epochs[5].fix = static_cast<Fix>(7);
  s.signals.push_back({nan, 3, 40});
  s.figures.cep50_m = nan;
  return s;
}

constexpr const char* kKeys[] = {"fixes",    "epochs",    "duration_s",     "fix_rate",      "lat",     "lon",
                                 "cep50_m",  "cep95_m",   "drms2_m",        "alt_mean_m",    "alt_sd_m",
                                 "hdop_mean", "sats_used_mean", "cn0_mean_dbhz", "ttff_s"};
const std::string kDash = "\xE2\x80\x94";

TEST(HtmlReport, PageHoldsEveryPlotAndNothingFromOutside) {
  struct Row {
    const char* name;
    track::Summary summary;
    std::vector<std::pair<std::string, size_t>> counts;  // text, how often
  };
  const std::vector<Row> rows = {
      {"hand-made", handMade(),
       {{"<svg ", 7},       // five plots; the legends of two (two satellites need none)
        {"<circle cx", 45},  // a dot per fix; no line has a lone point
        {"class=\"cep\"", 2}, {">CEP50 80 cm</text>", 1}, {"class=\"scalebar\"", 1}, {"class=\"prn\"", 2},
        {">12</text>", 1}, {">25</text>", 1},
        // The band (no fix, 2D, 3D, and 3D again after the gap), and its legend.
        {"fill=\"#d6404e\"/>", 2}, {"fill=\"#e0a500\"/>", 2}, {"fill=\"#2ca25f\"/>", 3},
        {"time since the first epoch (s)", 4}, {">altitude (m)</text>", 1}, {">C/N0 (dB-Hz)</text>", 1},
        {">HDOP</text>", 2}, {"<td>0.727</td>", 1} /* fix_rate */, {"<td>" + kDash + "</td>", 1} /* ttff_s */,
        {"in this log", 0}}},
      {"empty", track::Summary{},
       {{"<svg ", 7}, {"no fixes in this log", 3}, {"no signals in this log", 1}, {"no epochs in this log", 1},
        {"<polyline", 0}, {"class=\"scalebar\"", 0}, {"<td>" + kDash + "</td>", 13}}},
      {"odd", odd(),
       // The fix mode past 3D is taken for none: one dot fewer.
       {{"nan", 0}, {"inf", 0}, {"<td>" + kDash + "</td>", 2}, {"<circle cx", 44}, {">12</text>", 1}}},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    const std::string page = track::htmlReport(r.summary, "a <b> & \"c\" 'd'\x01\xff\xc3\xa9.txt");
    for (const auto& [text, n] : r.counts) EXPECT_EQ(occurrences(page, text), n) << text;
    for (const char* key : kKeys) EXPECT_EQ(occurrences(page, "<th scope=\"row\">"s + key + "</th>"), 1u) << key;
    EXPECT_EQ(occurrences(page, "<title>a &lt;b&gt; &amp; &quot;c&quot; &#39;d&#39;?\xEF\xBF\xBD\xC3\xA9.txt</title>"), 1u);
    EXPECT_EQ(occurrences(page, "<b>"), 0u);
    for (const char* outside : {"http:", "https:", "file:", "ftp:", "//", "src=", "href=", "url(", "@import",
                                "<script", "<link", "<img", "<iframe"})
      EXPECT_EQ(occurrences(page, outside), 0u) << outside;
    EXPECT_EQ(page.rfind("</html>\n"), page.size() - 8);
  }
}

using test::TempDir;

TEST(HtmlReport, ProgramWritesItBesideTheOtherOutputs) {
  const TempDir dir;
  const std::string log = FERROLAN_TESTDATA_DIR "/nmea/ublox-8.nmea", none = dir.file("none.txt", "garbage\n");
  const std::string page = dir.path + "/r.html", csv = dir.path + "/t.csv";
  struct Row {
    std::vector<std::string> args;
    int code;
    std::string err, out, page;  // each found once (the page's at least); no page when empty
  };
  for (const Row& r : std::vector<Row>{
           {{log, "--report", page}, 0, "71 points with a fix", "", "<title>ublox-8.nmea</title>"},
           {{log, "--report", page, "--stats", "--csv", csv}, 0, "71 points with a fix", "\"cep50_m\"", "<svg "},
           {{none, "--report", page, "--csv", csv}, 1, "no point with a fix", "", "no fixes in this log"},
           {{log, "--report", "-"}, 0, "71 points with a fix", "<!DOCTYPE html>", ""},
           {{log, "--report", "-", "--stats"}, 2, "cannot both be standard output", "", ""},
           {{log, "--report", "-", "--gpx", "-"}, 2, "cannot both be standard output", "", ""},
           {{log, "--report", dir.path + "/no/such/r.html"}, 1, "r.html: cannot be written", "", ""},
       }) {
    SCOPED_TRACE(r.args[1] + " " + r.args[2] + (r.args.size() > 3 ? " " + r.args[3] : ""));
    std::filesystem::remove(page);
    const ExportRun run = runExport(r.args);
    EXPECT_EQ(run.code, r.code) << run.err;
    EXPECT_EQ(occurrences(run.err, r.err), 1u) << run.err;
    EXPECT_EQ(occurrences(run.out, r.out), r.out.empty() ? 0u : 1u);
    EXPECT_EQ(std::filesystem::exists(page), !r.page.empty());
    EXPECT_GE(occurrences(test::slurp(page), r.page), r.page.empty() ? 0u : 1u);
  }
}

// libxml2's HTML parser knows HTML 4 only and calls every SVG element an
// invalid tag; those of the report are let through, any other complaint
// (misnesting, a bare "&", an unclosed element) is not.
TEST(HtmlReport, MarkupIsCleanHtmlAndWellFormedXml) {
  FERROLAN_REQUIRE_PEER(std::system("command -v xmllint >/dev/null 2>&1") == 0, "xmllint");
  const TempDir dir;
  const std::regex svgTag(R"(HTML parser error : Tag (svg|g|line|polyline|circle|rect|text) invalid)");
  for (const auto& [name, summary] : {std::pair{"full", handMade()}, std::pair{"empty", track::Summary{}}}) {
    SCOPED_TRACE(name);
    const std::string page = dir.file(std::string(name) + ".html", track::htmlReport(summary, "x & <y>"));
    ASSERT_EQ(std::system(("xmllint --html --noout " + page + " 2>" + dir.path + "/html.err").c_str()), 0);
    std::istringstream complaints(test::slurp(dir.path + "/html.err"));
    size_t svg = 0;
    for (std::string line; std::getline(complaints, line);) {
      if (line.find(" error : ") == std::string::npos && line.find(" warning : ") == std::string::npos) continue;
      EXPECT_TRUE(std::regex_search(line, svgTag)) << line;
      ++svg;
    }
    EXPECT_GT(svg, 0u) << "the parser's complaints were not read";
    EXPECT_EQ(std::system(("xmllint --noout " + page + " 2>" + dir.path + "/xml.err").c_str()), 0)
        << test::slurp(dir.path + "/xml.err");
  }
}

// A PNG's pixels as RGB: 8-bit RGB or RGBA, not interlaced, as Chromium
// writes its screenshots.
struct Image {
  int width = 0, height = 0;
  std::vector<uint8_t> rgb;
};

std::optional<Image> decodePng(const std::string& png) {
  const auto be32 = [&](size_t at) {
    return uint32_t(uint8_t(png[at])) << 24 | uint32_t(uint8_t(png[at + 1])) << 16 |
           uint32_t(uint8_t(png[at + 2])) << 8 | uint8_t(png[at + 3]);
  };
  if (png.size() < 33 || png.compare(0, 8, "\x89PNG\r\n\x1a\n") != 0) return {};
  Image img;
  int channels = 0;
  std::string idat;
  for (size_t at = 8; at + 12 <= png.size();) {
    const uint32_t length = be32(at);
    if (length > png.size() - at - 12) return {};
    const std::string type = png.substr(at + 4, 4);
    if (type == "IHDR") {
      img.width = int(be32(at + 8));
      img.height = int(be32(at + 12));
      const int depth = png[at + 16], colour = png[at + 17], interlace = png[at + 20];
      if (depth != 8 || interlace != 0 || (colour != 2 && colour != 6)) return {};
      channels = colour == 2 ? 3 : 4;
    } else if (type == "IDAT") {
      idat += png.substr(at + 8, length);
    }
    at += 12 + length;
  }
  if (channels == 0 || img.width <= 0 || img.height <= 0 || img.width > 10000 || img.height > 10000) return {};
  const size_t stride = size_t(img.width) * channels;
  std::vector<uint8_t> raw((stride + 1) * img.height);
  uLongf size = raw.size();
  if (uncompress(raw.data(), &size, reinterpret_cast<const Bytef*>(idat.data()), idat.size()) != Z_OK ||
      size != raw.size())
    return {};
  std::vector<uint8_t> prev(stride, 0), cur(stride);
  for (int y = 0; y < img.height; ++y) {
    const uint8_t* line = &raw[y * (stride + 1)];
    for (size_t i = 0; i < stride; ++i) {
      const int a = i >= size_t(channels) ? cur[i - channels] : 0, b = prev[i],
                c = i >= size_t(channels) ? prev[i - channels] : 0;
      const int p = a + b - c, pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
      const int predictors[] = {0, a, b, (a + b) / 2, pa <= pb && pa <= pc ? a : pb <= pc ? b : c};
      if (line[0] > 4) return {};
      cur[i] = uint8_t(line[1 + i] + predictors[line[0]]);
    }
    for (int x = 0; x < img.width; ++x)
      for (int k = 0; k < 3; ++k) img.rgb.push_back(cur[size_t(x) * channels + k]);
    std::swap(prev, cur);
  }
  return img;
}

// Pixels within `tolerance` of a colour, and those far from it.
std::pair<size_t, size_t> nearAndFar(const Image& img, uint32_t colour, int tolerance) {
  size_t nearCount = 0, far = 0;
  for (size_t i = 0; i + 2 < img.rgb.size(); i += 3) {
    const int d = std::max({std::abs(img.rgb[i] - int(colour >> 16)), std::abs(img.rgb[i + 1] - int(colour >> 8 & 0xFF)),
                            std::abs(img.rgb[i + 2] - int(colour & 0xFF))});
    ++(d <= tolerance ? nearCount : far);
  }
  return {nearCount, far};
}

struct BrowserRun {
  bool ended = false;
  std::string out, err;
};

// One headless Chromium run on a file, without the network: names resolve
// to nothing and nothing runs in the background. Bounded: a browser that
// has not ended in time is killed.
BrowserRun browse(const TempDir& dir, const std::vector<std::string>& how, const std::string& file) {
  std::vector<std::string> argv = {FERROLAN_CHROMIUM_PATH, "--headless=new", "--no-sandbox", "--disable-gpu",
                                   "--user-data-dir=" + dir.path + "/profile", "--no-first-run",
                                   "--disable-background-networking", "--host-resolver-rules=MAP * ~NOTFOUND",
                                   "--enable-logging=stderr", "--v=0"};
  argv.insert(argv.end(), how.begin(), how.end());
  argv.push_back("file://" + file);
  ChildProcess p;
  ChildOptions o;
  o.stderrFile = dir.path + "/browser.err";
  BrowserRun run;
  if (!p.start(argv, o)) return run;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
  for (std::string line; std::chrono::steady_clock::now() < deadline;) {
    if (p.readLine(line, 500)) {
      run.out += line + "\n";
    } else if (!p.running()) {
      while (p.readLine(line, 200)) run.out += line + "\n";
      break;
    }
  }
  run.ended = p.wait(1000);
  if (!run.ended) p.stop(2000);
  run.err = test::slurp(o.stderrFile);
  return run;
}

TEST(HtmlReport, OpensInABrowserWithNoErrorAndShowsThePlots) {
#ifndef FERROLAN_CHROMIUM_PATH
  FERROLAN_REQUIRE_PEER(false, "chromium");
#else
  FERROLAN_REQUIRE_PEER(std::filesystem::exists(FERROLAN_CHROMIUM_PATH), "chromium");
  const TempDir dir;
  // Kept beside its screenshots, to be looked at in other browsers.
  std::filesystem::create_directories(FERROLAN_SCREENSHOT_DIR);
  const std::string page = FERROLAN_SCREENSHOT_DIR "/export-report.html";
  std::ofstream(page, std::ios::binary) << track::htmlReport(handMade(), "report");

  // It parses to the page's plots, and says nothing on the console: with
  // no script there is nothing to say, unless something was refused.
  const BrowserRun dom = browse(dir, {"--dump-dom"}, page);
  ASSERT_TRUE(dom.ended) << "the browser did not end in time";
  EXPECT_EQ(occurrences(dom.out, "<svg "), 7u) << dom.out.substr(0, 2000);
  EXPECT_NE(dom.out.find("</html>"), std::string::npos);
  for (const char* complaint : {":CONSOLE", "Uncaught", "net::ERR"})
    EXPECT_EQ(dom.err.find(complaint), std::string::npos) << dom.err;

  // A laptop, a phone, and the laptop in a dark theme; each screenshot of
  // the window's size, mostly the theme's background and yet far from
  // blank; the laptop's shows the map's blue dots beside the figures.
  struct Screen {
    int width, height;
    bool dark;
    size_t blueAtLeast;
  };
  for (const Screen& s : {Screen{1280, 900, false, 150}, Screen{390, 844, false, 0}, Screen{1280, 900, true, 150}}) {
    SCOPED_TRACE(format("%dx%d%s", s.width, s.height, s.dark ? " dark" : ""));
    const std::string shot = format("%s/export-report-%dx%d%s.png", FERROLAN_SCREENSHOT_DIR, s.width, s.height,
                                    s.dark ? "-dark" : "");
    std::filesystem::remove(shot);
    std::vector<std::string> how = {"--screenshot=" + shot, format("--window-size=%d,%d", s.width, s.height)};
    if (s.dark) how.push_back("--force-dark-mode");
    const BrowserRun run = browse(dir, how, page);
    ASSERT_TRUE(run.ended) << "the browser did not end in time";
    EXPECT_EQ(run.err.find(":CONSOLE"), std::string::npos) << run.err;
    const auto img = decodePng(test::slurp(shot));
    ASSERT_TRUE(img) << shot;
    std::printf("screenshot: %s\n", shot.c_str());
    EXPECT_EQ(img->width, s.width);
    EXPECT_EQ(img->height, s.height);
    const size_t pixels = size_t(img->width) * img->height;
    const auto [background, ink] = nearAndFar(*img, s.dark ? 0x161616 : 0xFFFFFF, 24);
    EXPECT_GT(background, pixels / 2) << "not the theme's background";
    EXPECT_GT(ink, pixels / 30) << "next to nothing on the page";
    EXPECT_GE(nearAndFar(*img, 0x3B82C4, 40).first, s.blueAtLeast);
  }
#endif
}

}  // namespace
}  // namespace ferrolan
