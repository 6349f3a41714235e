// Invariants of the resource tables that the logic and every front end read.
#include <gtest/gtest.h>

#include <set>

#include "shell/resources.h"

namespace ferrolan::res {
namespace {

constexpr Layout kLayouts[] = {Layout::Generic, Layout::PocketPortrait, Layout::PocketLandscape};

TEST(Resources, TemplateIdsAreUniqueAndEachWindowHasOneTemplatePerLayout) {
  std::set<int> seen;
  std::set<std::pair<WindowId, Layout>> pageLayouts;
  for (const DialogTemplate& t : allTemplates()) {
    EXPECT_TRUE(seen.insert(t.id).second) << "template " << t.id << " twice";
    if (t.isPage) {
      EXPECT_TRUE(pageLayouts.insert({t.window, t.layout}).second) << t.id;
    }
    EXPECT_EQ(findTemplate(t.id), &t);
  }
  EXPECT_EQ(findTemplate(999), nullptr);
  for (WindowId w : {WindowId::TextPage, WindowId::InfoPage, WindowId::SkyPage, WindowId::ComPortSetup,
                     WindowId::SingleChannel, WindowId::FsaModify, WindowId::UpdateFirmware,
                     WindowId::DriverInstall, WindowId::About, WindowId::VbiLogSetting}) {
    for (Layout l : kLayouts) {
      const DialogTemplate* t = templateFor(w, l);
      ASSERT_NE(t, nullptr) << static_cast<int>(w);
      EXPECT_EQ(t->window, w);
      if (t->isPage) {
        EXPECT_EQ(t->layout, l);
      }
    }
  }
}

TEST(Resources, PagesCarryTheirLayoutTemplateAndCaption) {
  struct Row {
    WindowId page;
    int ids[3];  // in the order of kLayouts
    const char* captions[3];
  };
  const Row rows[] = {{WindowId::TextPage, {110, 119, 122}, {"", "Text-P", "Text -L"}},
                      {WindowId::InfoPage, {106, 118, 120}, {"Info", "Info-P", "Info-L"}},
                      {WindowId::SkyPage, {108, 115, 121}, {"Sky", "Sky-P", "Sky -L"}}};
  for (const Row& r : rows)
    for (size_t l = 0; l < std::size(kLayouts); ++l) {
      EXPECT_EQ(templateFor(r.page, kLayouts[l])->id, r.ids[l]);
      EXPECT_EQ(templateFor(r.page, kLayouts[l])->caption, r.captions[l]);
    }
  const std::pair<int, const char*> captions[] = {{104, "COM Port Setup"}, {116, "Single Channel Mode"},
                                                  {128, "FSA Modify"},     {117, "Update Firmware"},
                                                  {124, ""},               {102, "About Ferrolan"},
                                                  {123, "VBI Log Setting"}};
  for (const auto& [id, caption] : captions) EXPECT_EQ(findTemplate(id)->caption, caption) << id;
  EXPECT_EQ(std::pair(findTemplate(102)->width, findTemplate(102)->height), std::pair(125, 60));
  EXPECT_EQ(std::pair(findTemplate(123)->width, findTemplate(123)->height), std::pair(117, 73));
}

std::set<int> idsOf(const DialogTemplate& t) {
  std::set<int> out;
  for (const ControlTemplate& c : t.controls)
    if (c.id != ids::kStatic) out.insert(c.id);
  return out;
}

TEST(Resources, ThePageLayoutsCarryTheSameControls) {
  for (WindowId page : {WindowId::TextPage, WindowId::InfoPage, WindowId::SkyPage}) {
    std::set<int> portrait = idsOf(*templateFor(page, Layout::PocketPortrait));
    EXPECT_EQ(portrait, idsOf(*templateFor(page, Layout::PocketLandscape)));
    std::set<int> generic = idsOf(*templateFor(page, Layout::Generic));
    if (page == WindowId::InfoPage) {
      // Only the generic Info page has the two sort buttons.
      EXPECT_EQ(generic.erase(ids::kInfoSortBySvid) + generic.erase(ids::kInfoSortByCno), 2u);
    }
    EXPECT_EQ(generic, portrait);
  }
  EXPECT_TRUE(idsOf(*findTemplate(108)).empty());
  EXPECT_EQ(idsOf(*findTemplate(110)),
            (std::set<int>{ids::kTextLog, ids::kTextProgress, ids::kTextStatus, ids::kTextPortLabel,
                           ids::kTextBaudLabel}));
}

TEST(Resources, InfoPageChannelsAndButtonsPerLayout) {
  for (Layout l : kLayouts) {
    const DialogTemplate& t = *templateFor(WindowId::InfoPage, l);
    for (int id : {ids::kInfoUtc, ids::kInfoLatitude, ids::kInfoLongitude, ids::kInfoUsed, ids::kInfoFix,
                   ids::kInfoTtff})
      EXPECT_NE(findControl(t, id), nullptr) << id;
    const ControlTemplate* first = findControl(t, ids::kInfoChannelBars[0]);
    ASSERT_NE(first, nullptr);
    for (int c = 0; c < 16; ++c) {
      const ControlTemplate* bar = findControl(t, ids::kInfoChannelBars[c]);
      const ControlTemplate* label = findControl(t, ids::kInfoChannelLabels[c]);
      ASSERT_NE(bar, nullptr);
      ASSERT_NE(label, nullptr);
      EXPECT_EQ(bar->kind, ControlKind::Frame);
      EXPECT_EQ(label->kind, ControlKind::Label);
      // Channels run left to right, all bars alike, and the strongest
      // signal shown (52, or a cut 60) fits: height value / 2.
      EXPECT_EQ(bar->w, first->w);
      EXPECT_EQ(bar->h, first->h);
      EXPECT_GE(pixelRect(*bar).h, 30);
      if (c > 0) {
        EXPECT_GT(bar->x, findControl(t, ids::kInfoChannelBars[c - 1])->x + bar->w - 1);
      }
    }
    for (const auto& [id, text] : {std::pair{ids::kInfoColdStart, "ColdStart"}, std::pair{ids::kInfoStop, "Stop"},
                                   std::pair{ids::kInfoSort, "Sort"}, std::pair{ids::kInfoClean, "Clean"}})
      EXPECT_EQ(findControl(t, id)->text, text) << id;
  }
  const DialogTemplate& generic = *findTemplate(106);
  EXPECT_EQ(findControl(generic, ids::kInfoSortBySvid)->text, "Sort By SVID");
  EXPECT_EQ(findControl(generic, ids::kInfoSortByCno)->text, "Sort By C/No");
}

ControlState stateOf(const DialogTemplate& t, int id) {
  for (auto& [cid, s] : initialControls(t))
    if (cid == id) return s;
  ADD_FAILURE() << "no control " << id << " in " << t.id;
  return {};
}

TEST(Resources, InitialStatesFollowTheTemplates) {
  const DialogTemplate& g = *findTemplate(106);
  for (int id : {ids::kInfoSort, ids::kInfoClean}) {
    EXPECT_FALSE(stateOf(g, id).visible);
    EXPECT_TRUE(stateOf(*findTemplate(118), id).visible);
    EXPECT_TRUE(stateOf(*findTemplate(120), id).visible);
  }
  for (int id : {ids::kInfoSortBySvid, ids::kInfoSortByCno}) {
    EXPECT_FALSE(stateOf(g, id).visible);
    EXPECT_FALSE(stateOf(g, id).enabled);
  }
  EXPECT_TRUE(stateOf(g, ids::kInfoColdStart).visible && stateOf(g, ids::kInfoColdStart).enabled);

  for (Layout l : kLayouts) {
    const DialogTemplate& text = *templateFor(WindowId::TextPage, l);
    for (const auto& [id, shown] : {std::pair{ids::kTextPortLabel, "N/A"}, std::pair{ids::kTextBaudLabel, "N/A"},
                                    std::pair{ids::kTextStatus, ""}})
      EXPECT_EQ(stateOf(text, id).text, shown) << id;
    // Pages come with their own surface, control 0.
    EXPECT_EQ(initialControls(text).front().first, 0);
  }
  EXPECT_EQ(stateOf(*findTemplate(104), ids::kComStatus).text, "Not connected");
  EXPECT_EQ(stateOf(*findTemplate(124), ids::kDrvStatus).text, "Not installed");

  const DialogTemplate& upd = *findTemplate(117);
  EXPECT_TRUE(stateOf(upd, ids::kUpdFlashKernel).enabled);
  EXPECT_TRUE(stateOf(upd, ids::kUpdLoadFile).enabled);
  for (int id : {ids::kUpdFsa, ids::kUpdFirmware, ids::kUpdAllImage, ids::kUpdFileName, ids::kUpdUpdate})
    EXPECT_FALSE(stateOf(upd, id).enabled) << id;
  EXPECT_EQ(findControl(upd, ids::kUpdUpdate)->kind, ControlKind::DefaultButton);
  EXPECT_EQ(findControl(*findTemplate(116), ids::kScEnter)->kind, ControlKind::DefaultButton);

  for (int id : {ids::kLog10Minutes, ids::kLog30Minutes, ids::kLog1Hour, ids::kLog2Hours}) {
    EXPECT_FALSE(stateOf(*findTemplate(123), id).enabled);
    EXPECT_EQ(findControl(*findTemplate(123), id)->kind, ControlKind::RadioButton);
  }
  // Controls without an id stay out of the model.
  for (const DialogTemplate& t : allTemplates())
    for (auto& [id, s] : initialControls(t)) EXPECT_NE(id, ids::kStatic) << t.id;
}

TEST(Resources, DialogTextsAreTheSystemsOwn) {
  const DialogTemplate& fsa = *findTemplate(128);
  std::vector<std::string_view> labels;
  for (const ControlTemplate& c : fsa.controls)
    if (c.id == ids::kStatic) labels.push_back(c.text);
  EXPECT_EQ(labels, (std::vector<std::string_view>{"RMC", "GGA", "GLL ", "GSA", "GSV", "ALM", "VTG", "ZDA"}));
  for (const auto& [id, text] : {std::pair{ids::kFsaChangeBaud, "Change Baud Rate"},
                                 std::pair{ids::kFsaChangeOutput, "Change Output"}, std::pair{ids::kOk, "OK"},
                                 std::pair{ids::kCancel, "Cancel"}})
    EXPECT_EQ(findControl(fsa, id)->text, text) << id;
  EXPECT_EQ(std::size(kRateList), 6u);
  EXPECT_EQ(kRateList[1], "1   Hz");
  EXPECT_EQ(kPortList[9], "COM0:");
  EXPECT_EQ(findControl(*findTemplate(117), ids::kUpdFirmware)->text, "Firmware(AP)");
  EXPECT_EQ(findControl(*findTemplate(124), ids::kDrvPortBox)->kind, ControlKind::DropList);
  EXPECT_EQ(findControl(*findTemplate(104), ids::kComPortBox)->kind, ControlKind::ComboBox);
}

TEST(Resources, SkyPagesHoldThePlotOfTheirLayout) {
  // Plot origin per layout; the background disc reaches 128 pixels past it.
  const std::pair<Layout, std::pair<int, int>> origins[] = {
      {Layout::Generic, {80, 50}}, {Layout::PocketPortrait, {60, 50}}, {Layout::PocketLandscape, {90, 30}}};
  for (auto& [layout, origin] : origins) {
    const PixelRect page = pixelRect(*templateFor(WindowId::SkyPage, layout));
    EXPECT_GE(page.w, origin.first + 128);
    EXPECT_GE(page.h, origin.second + 128);
  }
}

TEST(Resources, MenuHasFourMenusWithUniqueCommands) {
  std::set<int> commands;
  std::vector<std::string_view> titles;
  for (const Menu& m : commandBarMenu()) {
    titles.push_back(m.label);
    for (const MenuItem& i : m.items) {
      EXPECT_TRUE(commands.insert(i.command).second) << i.command;
      EXPECT_FALSE(i.label.empty());
      EXPECT_EQ(menuLabel(i.command), i.label);
    }
  }
  EXPECT_EQ(titles, (std::vector<std::string_view>{"Setup", "Command", "MISC", "Help"}));
  EXPECT_EQ(commands.size(), 16u);
  for (const auto& [id, label] : {std::pair{ids::kCmdVgan, "VGAN"},
                                  std::pair{ids::kCmdSingleChannel, "Single Channel Mode"},
                                  std::pair{ids::kCmdStopLog, "Stop Log"}})
    EXPECT_EQ(menuLabel(id), label) << id;
  // Commands the dispatcher knows but no menu item carries.
  for (int id : {ids::kCmdReset, ids::kCmdBaud4800, ids::kCmdFkUpdate, ids::kCmdSpUpdate, ids::kCmdAllUpdate})
    EXPECT_TRUE(menuLabel(id).empty()) << id;
}

TEST(Resources, StringTable) {
  EXPECT_EQ(loadString(kStrTitle), "Ferrolan");
  EXPECT_EQ(loadString(kStrClassName), "Ferrolan");
  EXPECT_EQ(loadString(kStrTool), "Tool");
  EXPECT_EQ(loadString(4), "");
}

}  // namespace
}  // namespace ferrolan::res
