// The front end's entry point end to end: the sheet opens, the first page
// is created, the logic ends the sheet and the program gets exit code 0.
// CI runs this one under Xvfb too, on a real X server.
#include <QDialogButtonBox>
#include <QListView>
#include <QPushButton>
#include <QScrollBar>

#include "shell/startup.h"
#include "tests/qt/gui_support.h"

namespace ferrolan::qt::test {
namespace {

TEST(RunQtSheet, OpensTheSheetRunsThePagesAndReturnsTheExitCodeWhenTheLogicEndsIt) {
  for (int pages : {1, 3}) {
    GuiRig rig;
    SheetHost* host = nullptr;
    std::vector<std::string> seen;
    PageProcedures procs;
    procs.started = [&](SheetHost& h) { host = &h; };
    procs.created = [&](WindowId w) {
      seen.push_back("created " + std::to_string(int(w)));
      // As a page's worker would finish: a line, then the status.
      rig.ctx.textLog.append("Update OK");
      rig.ui.setText(WindowId::TextPage, ids::kTextStatus, "OK");
      QTimer::singleShot(0, [&] {
        for (QWidget* w : QApplication::topLevelWidgets())
          if (w->objectName() == "sheet" && w->isVisible()) {
            EXPECT_EQ(w->windowTitle(), "Auto Update FW");
            screenshot(w, std::string(qgetenv("QT_QPA_PLATFORM") == "xcb" ? "xvfb" : "run") + "-" +
                              std::to_string(pages) + "page");
          }
        host->endSheet(0);
      });
    };
    procs.closed = [&](WindowId w) { seen.push_back("closed " + std::to_string(int(w))); };
    char arg0[] = "ferrolan";
    char* argv[] = {arg0, nullptr};
    EXPECT_EQ(runQtSheet(rig.ctx, sheetFor(Layout::Generic, pages), procs, 1, argv), 0);
    EXPECT_EQ(seen, (std::vector<std::string>{"created 110", "closed 110"}));
    EXPECT_FALSE(rig.ui.isOpen(WindowId::TextPage));
  }
}

TEST(RunQtSheet, TheProgramsOwnPageProceduresSetUpTheTextPageAndOkEndsWithZero) {
  GuiRig rig;
  PageProcedures procs = makePageProcedures(rig.ctx);
  QtSheet sheet(rig.ctx, sheetFor(Layout::PocketPortrait, 1), procs);
  int finishedWith = -1;
  QObject::connect(&sheet, &QtSheet::sheetFinished, [&](int code) { finishedWith = code; });
  sheet.show();
  sheet.start();
  sheet.bridge().flush();
  auto* list = static_cast<QListView*>(sheet.page(0)->view()->controlWidget(ids::kTextLog));
  for (int i = 0; i < 3; ++i) QCoreApplication::processEvents();
  EXPECT_GT(list->horizontalScrollBar()->maximum(), 0) << "the Text page's extent of 500";
  // The sheet's OK: the shutdown runs and its quit ends the sheet with 0.
  sheet.findChild<QDialogButtonBox*>("sheetButtons")->button(QDialogButtonBox::Ok)->click();
  EXPECT_TRUE(sheet.finished());
  EXPECT_EQ(finishedWith, 0);
  EXPECT_FALSE(rig.ui.isOpen(WindowId::TextPage));
}

}  // namespace
}  // namespace ferrolan::qt::test
