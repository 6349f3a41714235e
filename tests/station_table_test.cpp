// What the station prints for each receiver: the table's rows and the end
// lines.

#include <gtest/gtest.h>

#include "station/station_table.h"

namespace ferrolan {
namespace {

RunView view(RunResult result, int percent, std::string stage = "Updating.. Please Wait ...") {
  return {.port = "/dev/ttyUSB0", .version = "3.17", .stage = std::move(stage), .percent = percent, .secondsLeft = 75,
          .result = result, .file = {}, .sha256 = {}, .failure = "No Xmodem ACK received.. "};
}

TEST(StationTable, RowsShowStageProgressTimeLeftAndResult) {
  const struct {
    RunView v;
    const char* row;  // the table line, trailing blanks cut
    const char* end;  // the end line
  } rows[] = {
      {view(RunResult::Running, 42),
       "/dev/ttyUSB0  3.17     Updating.. Please Wait ...          [########............]  42% 1:15 left    12s",
       "/dev/ttyUSB0 running 12.3"},
      {view(RunResult::Ok, 100, "Please Reset Device To Make It Effect!  "),
       "/dev/ttyUSB0  3.17     Please Reset Device To Make It Eff  [####################] 100%              OK 12s",
       "/dev/ttyUSB0 OK 12.3"},
      {view(RunResult::Fail, -1, "No Xmodem ACK received.. "),
       "/dev/ttyUSB0  3.17     No Xmodem ACK received..                                                     FAIL 12s",
       "/dev/ttyUSB0 FAIL 12.3 No Xmodem ACK received.. "},
      {view(RunResult::Interrupted, 7),
       "/dev/ttyUSB0  3.17     Updating.. Please Wait ...          [#...................]   7%              interrupted 12s",
       "/dev/ttyUSB0 interrupted 12.3"},
  };
  std::vector<TableRow> all;
  for (const auto& r : rows) {
    all.push_back({r.v, 0});
    const TableRow row{r.v, 12345};
    const std::vector<std::string> lines = tableLines({row}, 200);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].rfind("PORT          VERSION  STAGE", 0), 0u) << lines[0];
    EXPECT_EQ(lines[1], r.row);
    EXPECT_EQ(endLine(row), r.end);
  }
  EXPECT_EQ(summaryLine(all), "4 receivers: 1 OK, 1 FAIL, 1 interrupted");
}

// A narrow terminal cuts every line, never inside a character.
TEST(StationTable, NarrowLinesAreCutAtCharacters) {
  RunView v = view(RunResult::Running, 5, "Mise \xC3\xA0 jour");
  v.port = "/dev/\xC3\xA9t\xC3\xA9";
  for (size_t width : {1, 6, 7, 20, 40}) {
    for (const std::string& l : tableLines({{v, 0}}, width)) {
      EXPECT_LE(l.size(), width);
      const unsigned last = l.empty() ? 0 : static_cast<unsigned char>(l.back());
      EXPECT_NE(last & 0xC0, 0xC0u) << width << ": " << l;  // no lead byte without its tail
    }
  }
}

}  // namespace
}  // namespace ferrolan
