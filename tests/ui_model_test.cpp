// The UI model as the logic and the front ends use it.

#include <thread>

#include <gtest/gtest.h>

#include "ui/ui_model.h"

namespace ferrolan {
namespace {

TEST(UiModel, WritesToAClosedWindowGoNowhere) {
  UiModel ui;
  ui.setText(WindowId::UpdateFirmware, ids::kUpdStatus, "Connecting...");
  EXPECT_FALSE(ui.isOpen(WindowId::UpdateFirmware));
  EXPECT_EQ(ui.text(WindowId::UpdateFirmware, ids::kUpdStatus), "");
  ui.openWindow(WindowId::UpdateFirmware, {{ids::kUpdStatus, ControlState{}}});
  EXPECT_TRUE(ui.hasControl(WindowId::UpdateFirmware, ids::kUpdStatus));
  EXPECT_FALSE(ui.hasControl(WindowId::UpdateFirmware, ids::kUpdProgress));
  ui.setText(WindowId::UpdateFirmware, ids::kUpdStatus, "Connecting...");
  EXPECT_EQ(ui.text(WindowId::UpdateFirmware, ids::kUpdStatus), "Connecting...");
  ui.closeWindow(WindowId::UpdateFirmware);
  EXPECT_EQ(ui.text(WindowId::UpdateFirmware, ids::kUpdStatus), "");
}

TEST(UiModel, TheSameTextAgainIsNoChange) {
  UiModel ui;
  ui.openWindow(WindowId::UpdateFirmware, {{ids::kUpdStatus, ControlState{}}});
  std::vector<std::string> heard;
  ui.addListener([&](const UiChange& c) {
    if (c.kind == UiChangeKind::Text) heard.push_back(c.text);
  });
  for (const char* text : {"Logging", "Logging", "Logging", "Stopped", "Logging"})
    ui.setText(WindowId::UpdateFirmware, ids::kUpdStatus, text);
  EXPECT_EQ(heard, (std::vector<std::string>{"Logging", "Stopped", "Logging"}));
}

TEST(UiModel, TextLogAppendsInsertsAndResets) {
  UiModel ui;
  ui.openWindow(WindowId::TextPage);
  TextLog log(ui);
  log.append("one");
  log.append("two");
  log.insertTop("$GPGGA");
  EXPECT_EQ(log.lines(), (std::vector<std::string>{"$GPGGA", "one", "two"}));
  log.reset();
  EXPECT_TRUE(log.lines().empty());
  for (size_t i = 0; i < UiModel::kMaxListItems + 5; ++i) log.append(std::to_string(i));
  auto lines = log.lines();
  ASSERT_EQ(lines.size(), UiModel::kMaxListItems);
  EXPECT_EQ(lines.back(), std::to_string(UiModel::kMaxListItems + 4));
}

TEST(UiModel, TextLogKeepsLinesFromBeforeThePageUntilItTakesThem) {
  struct Case {
    const char* name;
    std::vector<std::string> before;  // "+x" append, "^x" insert at top, "reset"
    std::vector<std::string> list;    // the page's list after the replay
  };
  const Case cases[] = {
      {"nothing", {}, {}},
      {"appends_in_order", {"+a", "+b"}, {"a", "b"}},
      {"inserts_stay_on_top", {"+a", "^b", "+c", "^d"}, {"d", "b", "a", "c"}},
      {"reset_forgets", {"+a", "reset", "+b"}, {"b"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    UiModel ui;
    TextLog log(ui);
    for (const auto& w : c.before) {
      if (w == "reset") log.reset();
      else if (w[0] == '+') log.append(w.substr(1));
      else log.insertTop(w.substr(1));
    }
    EXPECT_TRUE(log.lines().empty());
    ui.openWindow(WindowId::TextPage, {{ids::kTextLog, {}}});
    log.replayEarlyLines();
    EXPECT_EQ(log.lines(), c.list);
    log.replayEarlyLines();  // once only
    EXPECT_EQ(log.lines(), c.list);
  }
}

TEST(UiModel, ListenersHearEveryChangeFromEveryThread) {
  UiModel ui;
  ui.openWindow(WindowId::TextPage);
  std::mutex m;
  std::vector<UiChange> seen;
  ui.addListener([&](const UiChange& c) {
    std::lock_guard l(m);
    seen.push_back(c);
  });
  std::vector<std::thread> writers;
  for (int t = 0; t < 4; ++t)
    writers.emplace_back([&] {
      for (int i = 0; i < 250; ++i) ui.listAppend(WindowId::TextPage, ids::kTextLog, "line");
    });
  for (auto& w : writers) w.join();
  ui.setProgress(WindowId::TextPage, ids::kTextProgress, 42);
  std::lock_guard l(m);
  ASSERT_EQ(seen.size(), 1001u);
  EXPECT_EQ(seen.back().kind, UiChangeKind::Progress);
  EXPECT_EQ(seen.back().value, 42);
  EXPECT_EQ(ui.items(WindowId::TextPage, ids::kTextLog).size(), 1000u);
}

TEST(UiModel, MenuItemsStartEnabledAndSelectionStaysInRange) {
  UiModel ui;
  ui.openWindow(WindowId::InfoPage);
  EXPECT_TRUE(ui.menuEnabled(WindowId::InfoPage, 40002));
  ui.setMenuEnabled(WindowId::InfoPage, 40002, false);
  EXPECT_FALSE(ui.menuEnabled(WindowId::InfoPage, 40002));
  ui.openWindow(WindowId::ComPortSetup);
  ui.setItems(WindowId::ComPortSetup, ids::kComBaudBox, {"4800", "9600"});
  ui.setSelection(WindowId::ComPortSetup, ids::kComBaudBox, 1);
  EXPECT_EQ(ui.selection(WindowId::ComPortSetup, ids::kComBaudBox), 1);
  ui.setSelection(WindowId::ComPortSetup, ids::kComBaudBox, 7);
  EXPECT_EQ(ui.selection(WindowId::ComPortSetup, ids::kComBaudBox), -1);
}

TEST(UiModel, MessageBoxWithoutHostCountsAsAcknowledged) {
  UiModel ui;
  EXPECT_EQ(ui.messageBox(std::nullopt, "Fail To Create COM Port", "Error"), kIdOk);
  EXPECT_FALSE(ui.openFile("Specify a file", "*.bin").has_value());
}

}  // namespace
}  // namespace ferrolan
