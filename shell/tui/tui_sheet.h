#pragma once
// The sheet in a terminal, drawn with curses: the pages, the command bar
// and every dialog and box, worked with the keyboard. One more front end on
// the UI model; the curses calls all happen on the thread that runs it.

#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>

#include "platform/terminal.h"
#include "shell/front_end.h"
#include "shell/sheet_session.h"
#include "shell/tui/tui_screen.h"
#include "ui/ui_model.h"

namespace ferrolan {

struct Context;

namespace tui {

class TuiSheet : public SheetFrontEnd {
 public:
  TuiSheet(Context& ctx, const SheetDescription& sheet, PageProcedures& procedures);
  ~TuiSheet() override;
  TuiSheet(const TuiSheet&) = delete;
  TuiSheet& operator=(const TuiSheet&) = delete;

  // Runs the sheet until it ends or the user quits; the exit code.
  int run();

  void pageOpened(const SheetPage& page) override;
  void dialogOpened(SheetDialog& dialog) override;
  void runDialog(SheetDialog& dialog) override;
  void dialogClosed(SheetDialog& dialog) override;
  int showBox(const MessageBoxRequest& request) override;
  std::optional<std::string> showFile(const std::string& title, const std::string& filter) override;
  void requestWaiting(const SheetRequest&) override { wake_.wake(); }
  void sheetEnding() override { wake_.wake(); }

 private:
  void pump();
  void onChange(const UiChange& change);
  void reload(WindowView& view, WindowId w, const std::set<int>& controls, bool all);
  void refreshViews();
  void render();
  void resized();
  void key(int ch);
  void windowKey(WindowView& view, WindowId w, int ch, bool isPage);
  void menuKey(int ch);
  void moveFocus(WindowView& view, int step);
  void showPage(size_t index);
  WindowView* topView(WindowId* w, bool* isPage);

  Context& ctx_;
  SheetSession session_;
  std::map<WindowId, WindowView> views_;  // the pages created and the dialogs open
  MenuView menu_;
  BoxView* box_ = nullptr;
  std::optional<int> boxAnswer_;
  FileView* file_ = nullptr;
  std::optional<std::optional<std::string>> fileAnswer_;
  int listener_ = 0;
  bool screenUp_ = false;
  bool lineDrawing_ = false;  // the terminal draws line pieces
  bool utf8_ = false;         // the locale's characters are UTF-8
  int width_ = 0, height_ = 0;
  std::optional<Grid> shown_;  // what the terminal shows now
  bool layoutDirty_ = true;    // focus, menu, pages, boxes: the sheet's own state

  WakePipe wake_;
  std::mutex m_;  // guards what workers write: the dirty set
  std::map<WindowId, std::pair<bool, std::set<int>>> dirty_;  // (all, controls)
  bool menuDirty_ = false;
  bool woken_ = false;
};

// Runs the sheet in the terminal on standard input and output.
int runTuiSheet(Context& ctx, const SheetDescription& sheet, PageProcedures& procedures);

}  // namespace tui
}  // namespace ferrolan
