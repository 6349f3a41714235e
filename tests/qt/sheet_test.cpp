// The sheet for page counts 1 and 3 in each layout: caption, tabs, lazy
// page creation, controls, the command-bar menu and closing.
#include <QAbstractButton>
#include <QAction>
#include <QFontInfo>
#include <QLabel>
#include <QListView>
#include <QMenu>
#include <QMenuBar>
#include <QScrollBar>
#include <QTabBar>
#include <QTabWidget>

#include "tests/qt/gui_support.h"

namespace ferrolan::qt::test {
namespace {

TEST(GuiFont, TheApplicationFontResolvesToAnInstalledFace) {
  // Without a font every glyph is an empty box, and pixel checks of bars
  // would still pass; so this must hold first.
  EXPECT_TRUE(applyApplicationFont()) << QFontInfo(QApplication::font()).family().toStdString();
  QLabel label("Auto Update FW");
  label.adjustSize();
  const QImage img = image(&label);
  int dark = 0;
  for (int y = 0; y < img.height(); ++y)
    for (int x = 0; x < img.width(); ++x) dark += qGray(img.pixel(x, y)) < 100;
  EXPECT_GT(dark, 20) << "the label drew no glyphs";
}

struct Recorder {
  std::vector<std::string> events;
  std::vector<std::pair<WindowId, int>> commands;
  PageProcedures procedures() {
    PageProcedures p;
    p.created = [this](WindowId w) { events.push_back("created " + std::to_string(int(w))); };
    p.activated = [this](WindowId w, bool on) {
      events.push_back((on ? "active " : "inactive ") + std::to_string(int(w)));
    };
    p.command = [this](WindowId w, int c) { commands.emplace_back(w, c); };
    p.closed = [this](WindowId w) { events.push_back("closed " + std::to_string(int(w))); };
    return p;
  }
};

class SheetLayouts : public ::testing::TestWithParam<std::tuple<Layout, int>> {};

void expectControlsFollowModel(QtSheet& sheet, UiModel& ui, WindowId w) {
  PageWidget* page = sheet.page(w);
  ASSERT_NE(page, nullptr);
  const res::DialogTemplate& tpl = page->view()->dialogTemplate();
  for (auto& [id, state] : res::initialControls(tpl)) {
    QWidget* widget = page->view()->controlWidget(id);
    ASSERT_NE(widget, nullptr) << tpl.id << " control " << id;
    EXPECT_EQ(widget->isVisibleTo(page), state.visible) << tpl.id << " control " << id;
    EXPECT_EQ(widget->isEnabled(), state.enabled) << tpl.id << " control " << id;
    EXPECT_TRUE(ui.hasControl(w, id));
  }
}

TEST_P(SheetLayouts, BuildsThePagesOfTheLayoutAndCreatesThemWhenFirstShown) {
  const auto [layout, count] = GetParam();
  GuiRig rig;
  Recorder rec;
  PageProcedures procs = rec.procedures();
  procs.created = [&](WindowId w) {
    rec.events.push_back("created " + std::to_string(int(w)));
    // What the Text page's set-up does.
    if (w == WindowId::TextPage) rig.ui.setHorizontalExtent(w, ids::kTextLog, 500);
  };
  QtSheet sheet(rig.ctx, sheetFor(layout, count), procs);
  sheet.show();
  sheet.start();
  const std::string name = layoutName(layout) + "-" + std::to_string(count) + "page";

  EXPECT_EQ(sheet.windowTitle(), "Auto Update FW");
  ASSERT_EQ(sheet.tabs()->count(), count);
  const std::vector<WindowId> order{WindowId::TextPage, WindowId::InfoPage, WindowId::SkyPage};
  for (int i = 0; i < count; ++i) {
    const res::DialogTemplate* tpl = res::templateFor(order[size_t(i)], layout);
    EXPECT_EQ(sheet.tabs()->tabText(i).toStdString(), std::string(tpl->caption));
    EXPECT_EQ(sheet.page(i)->view()->dialogTemplate().id, tpl->id);
  }
  // Only the first page exists so far.
  EXPECT_EQ(rec.events, (std::vector<std::string>{"created 110", "active 110"}));
  EXPECT_TRUE(rig.ui.isOpen(WindowId::TextPage));
  EXPECT_FALSE(rig.ui.isOpen(WindowId::InfoPage));
  expectControlsFollowModel(sheet, rig.ui, WindowId::TextPage);

  PageWidget* text = sheet.page(WindowId::TextPage);
  EXPECT_EQ(text->menuBar(), nullptr);  // the Text page's bar has no menu
  // Grey page, centred status texts, the list's horizontal extent.
  pumpUntil([&] { return sheet.bridge().flushCount() > 0 || true; });
  rig.ui.setText(WindowId::TextPage, ids::kTextStatus, "OK");
  for (int i = 0; i < 50; ++i) rig.ctx.textLog.append("$GPGGA,line " + std::to_string(i));
  ASSERT_TRUE(pumpUntil([&] {
    auto* list = static_cast<QListView*>(text->view()->controlWidget(ids::kTextLog));
    return list->model()->rowCount() == 50;
  }));
  auto* status = static_cast<QLabel*>(text->view()->controlWidget(ids::kTextStatus));
  EXPECT_EQ(status->text(), "OK");
  EXPECT_TRUE(status->alignment() & Qt::AlignHCenter);
  EXPECT_TRUE(static_cast<QLabel*>(text->view()->controlWidget(ids::kTextPortLabel))->alignment() & Qt::AlignHCenter);
  auto* list = static_cast<QListView*>(text->view()->controlWidget(ids::kTextLog));
  EXPECT_GT(list->horizontalScrollBar()->maximum(), 0) << "extent 500 wider than the list";
  const QImage img = image(text->view());
  EXPECT_TRUE(near(img.pixel(2, 2), QColor(192, 192, 192), 0)) << std::hex << img.pixel(2, 2);
  screenshot(&sheet, name + "-text");

  if (count == 3) {
    sheet.tabs()->setCurrentIndex(1);
    EXPECT_EQ(rec.events.back(), "active 106");
    EXPECT_EQ(rec.events[rec.events.size() - 3], "inactive 110");
    EXPECT_EQ(rec.events[rec.events.size() - 2], "created 106");
    expectControlsFollowModel(sheet, rig.ui, WindowId::InfoPage);
    PageWidget* info = sheet.page(WindowId::InfoPage);
    // Sort and Clean show on Pocket PC only; the sort buttons are generic-only.
    QWidget* sort = info->view()->controlWidget(ids::kInfoSort);
    EXPECT_EQ(sort->isVisibleTo(info), layout != Layout::Generic);
    EXPECT_EQ(info->view()->controlWidget(ids::kInfoSortBySvid) != nullptr, layout == Layout::Generic);

    // Menu 109: four menus, the items with their commands, never checkable.
    ASSERT_NE(info->menuBar(), nullptr);
    QStringList titles;
    for (QAction* a : info->menuBar()->actions()) titles << a->text();
    EXPECT_EQ(titles, (QStringList{"Setup", "Command", "MISC", "Help"}));
    int items = 0;
    for (const res::Menu& m : res::commandBarMenu()) {
      for (const res::MenuItem& item : m.items) {
        QAction* a = info->menuAction(item.command);
        ASSERT_NE(a, nullptr) << item.command;
        EXPECT_EQ(a->text().toStdString(), std::string(item.label));
        EXPECT_FALSE(a->isCheckable());
        EXPECT_TRUE(a->isEnabled());
        ++items;
      }
    }
    EXPECT_EQ(int(info->menuActions().size()), items);

    // Greying in the model greys the item; triggering gives the command.
    rig.ui.setMenuEnabled(WindowId::InfoPage, ids::kCmdToNmea, false);
    ASSERT_TRUE(pumpUntil([&] { return !info->menuAction(ids::kCmdToNmea)->isEnabled(); }));
    EXPECT_TRUE(info->menuAction(ids::kCmdToVbi)->isEnabled());
    info->menuAction(ids::kCmdHotStart)->trigger();
    static_cast<QAbstractButton*>(info->view()->controlWidget(ids::kInfoColdStart))->click();
    ASSERT_EQ(rec.commands.size(), 2u);
    EXPECT_EQ(rec.commands[0], std::make_pair(WindowId::InfoPage, ids::kCmdHotStart));
    EXPECT_EQ(rec.commands[1], std::make_pair(WindowId::InfoPage, ids::kInfoColdStart));
    // A hidden button still works when the logic shows it.
    rig.ui.setVisible(WindowId::InfoPage, ids::kInfoClean, true);
    ASSERT_TRUE(pumpUntil([&] { return info->view()->controlWidget(ids::kInfoClean)->isVisibleTo(info); }));
    screenshot(&sheet, name + "-info");

    sheet.tabs()->setCurrentIndex(2);
    EXPECT_EQ(rec.events.back(), "active 108");
    PageWidget* sky = sheet.page(WindowId::SkyPage);
    ASSERT_NE(sky->menuBar(), nullptr);
    EXPECT_NE(sky->view()->controlWidget(0), nullptr);
    // Each page has its own menu state.
    EXPECT_TRUE(sky->menuAction(ids::kCmdToNmea)->isEnabled());
    screenshot(&sheet, name + "-sky");

    // Back to a page that exists: no second creation.
    sheet.tabs()->setCurrentIndex(1);
    EXPECT_EQ(std::count(rec.events.begin(), rec.events.end(), "created 106"), 1);
  }

  int finishedWith = -1;
  QObject::connect(&sheet, &QtSheet::sheetFinished, [&](int code) { finishedWith = code; });
  sheet.close();
  EXPECT_EQ(finishedWith, 0);
  std::vector<std::string> closed;
  for (const auto& e : rec.events)
    if (e.rfind("closed", 0) == 0) closed.push_back(e);
  if (count == 3)
    EXPECT_EQ(closed, (std::vector<std::string>{"closed 110", "closed 106", "closed 108"}));
  else
    EXPECT_EQ(closed, (std::vector<std::string>{"closed 110"}));
  EXPECT_FALSE(rig.ui.isOpen(WindowId::TextPage));
  // Closing twice runs the pages' shutdown once.
  sheet.close();
  EXPECT_EQ(std::count_if(rec.events.begin(), rec.events.end(), [](auto& e) { return e.rfind("closed", 0) == 0; }),
            count == 3 ? 3 : 1);
}

INSTANTIATE_TEST_SUITE_P(AllLayouts, SheetLayouts,
                         ::testing::Combine(::testing::Values(Layout::Generic, Layout::PocketPortrait,
                                                              Layout::PocketLandscape),
                                            ::testing::Values(1, 3)),
                         [](const auto& info) {
                           return layoutName(std::get<0>(info.param)) + "_" + std::to_string(std::get<1>(info.param));
                         });

TEST(Sheet, EndSheetFromACommandClosesWithItsCodeAndAWorkerWaitingOnABoxIsLetGo) {
  GuiRig rig;
  Recorder rec;
  PageProcedures procs = rec.procedures();
  SheetHost* host = nullptr;
  procs.started = [&](SheetHost& h) { host = &h; };
  procs.command = [&](WindowId, int c) {
    if (c == ids::kCmdExit) host->endSheet(0);
  };
  QtSheet sheet(rig.ctx, sheetFor(Layout::Generic, 3), procs);
  int finishedWith = -1;
  QObject::connect(&sheet, &QtSheet::sheetFinished, [&](int code) { finishedWith = code; });
  sheet.show();
  sheet.start();
  ASSERT_NE(host, nullptr);
  sheet.tabs()->setCurrentIndex(1);

  // A worker asks a question while the user exits; the shutdown must not
  // wait for an answer that the closed sheet can no longer give.
  int answer = -1;
  std::thread worker([&] { answer = rig.ui.messageBox(WindowId::InfoPage, "Write Command fail! Please Check COM port", "Error"); });
  sheet.page(WindowId::InfoPage)->menuAction(ids::kCmdExit)->trigger();
  worker.join();
  EXPECT_EQ(answer, kIdOk);
  EXPECT_EQ(finishedWith, 0);
  EXPECT_TRUE(sheet.finished());
  for (int i = 0; i < 20; ++i) QCoreApplication::processEvents();
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr) << "a box opened after the sheet closed";
}

}  // namespace
}  // namespace ferrolan::qt::test
