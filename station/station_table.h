#pragma once
// What the station prints: on a terminal a table redrawn in place, one row
// per receiver; otherwise one line per receiver as it ends.

#include <cstdint>
#include <string>
#include <vector>

#include "station/receiver_run.h"

namespace ferrolan {

struct TableRow {
  RunView view;
  uint32_t elapsedMs = 0;
};

// A header and one line per row, none longer than `width` bytes.
std::vector<std::string> tableLines(const std::vector<TableRow>& rows, size_t width);

// "3 receivers: 2 OK, 1 FAIL, 0 interrupted", under the table at the end.
std::string summaryLine(const std::vector<TableRow>& rows);

// "PORT OK SECONDS", "PORT FAIL SECONDS LAST-TEXT", "PORT interrupted SECONDS".
std::string endLine(const TableRow& row);

}  // namespace ferrolan
