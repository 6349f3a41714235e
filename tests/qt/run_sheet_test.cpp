// The front end's entry point end to end: the sheet opens, the first page
// is created, the logic ends the sheet and the program gets exit code 0.
// CI runs this one under Xvfb too, on a real X server.
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

}  // namespace
}  // namespace ferrolan::qt::test
