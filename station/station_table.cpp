#include "station/station_table.h"

#include <algorithm>

#include "core/text.h"

namespace ferrolan {

namespace {

constexpr size_t kPortWidthMax = 32, kVersionWidth = 7, kStageWidth = 34, kBarCells = 20;
// The bar, " 100%" and " 999:59 left".
constexpr size_t kProgressWidth = kBarCells + 2 + 5 + 12;

// Cut to `width` bytes at a character boundary (a malformed byte counts as one).
void cut(std::string& text, size_t width) {
  size_t end = 0;
  while (end < text.size()) {
    const size_t n = std::max<size_t>(utf8SequenceLength(text, end), 1);
    if (end + n > width) break;
    end += n;
  }
  text.resize(end);
}

std::string cell(std::string text, size_t width) {
  cut(text, width);
  text.append(width - std::min(width, text.size()), ' ');
  return text;
}

std::string progress(const RunView& v) {
  if (v.percent < 0) return std::string(kBarCells + 2, ' ') + "     ";
  const int p = std::clamp(v.percent, 0, 100);
  const size_t full = static_cast<size_t>(p) * kBarCells / 100;
  std::string s = "[" + std::string(full, '#') + std::string(kBarCells - full, '.') + "]" + format(" %3d%%", p);
  if (v.result == RunResult::Running && p < 100)
    s += format(" %u:%02u left", v.secondsLeft / 60, v.secondsLeft % 60);
  return s;
}

}  // namespace

std::vector<std::string> tableLines(const std::vector<TableRow>& rows, size_t width) {
  size_t portWidth = 4;
  for (const TableRow& r : rows) portWidth = std::max(portWidth, std::min(r.view.port.size(), kPortWidthMax));
  std::vector<std::string> lines;
  lines.push_back(cell("PORT", portWidth) + "  " + cell("VERSION", kVersionWidth) + "  " + cell("STAGE", kStageWidth) +
                  "  " + cell("PROGRESS", kProgressWidth) + "  RESULT");
  for (const TableRow& r : rows) {
    const RunView& v = r.view;
    std::string result = format("%us", r.elapsedMs / 1000);
    if (v.result != RunResult::Running) result = runResultText(v.result) + (" " + result);
    lines.push_back(cell(v.port, portWidth) + "  " + cell(v.version.empty() ? "-" : v.version, kVersionWidth) +
                    "  " + cell(v.stage, kStageWidth) + "  " + cell(progress(v), kProgressWidth) + "  " + result);
  }
  for (std::string& l : lines) {
    while (!l.empty() && l.back() == ' ') l.pop_back();
    cut(l, width);
  }
  return lines;
}

std::string summaryLine(const std::vector<TableRow>& rows) {
  size_t counts[4] = {};
  for (const TableRow& r : rows) ++counts[static_cast<size_t>(r.view.result)];
  return format("%zu receivers: %zu OK, %zu FAIL, %zu interrupted", rows.size(), counts[1], counts[2], counts[3]);
}

std::string endLine(const TableRow& row) {
  const RunView& v = row.view;
  std::string line = format("%s %s %.1f", v.port.c_str(), runResultText(v.result), row.elapsedMs / 1000.0);
  if (v.result == RunResult::Fail) line += " " + v.failure;
  return line;
}

}  // namespace ferrolan
