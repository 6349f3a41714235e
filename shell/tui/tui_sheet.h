#pragma once
// The sheet in a terminal, drawn with curses: the pages, the command bar
// and every dialog and box, worked with the keyboard. One more front end on
// the UI model; the curses calls all happen on the thread that runs it.

#include <atomic>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "platform/terminal.h"
#include "shell/front_end.h"
#include "shell/tui/tui_screen.h"
#include "ui/ui_model.h"

namespace ferrolan {

struct Context;

namespace tui {

class TuiSheet : public SheetHost, public UiHost {
 public:
  TuiSheet(Context& ctx, const SheetDescription& sheet, PageProcedures& procedures);
  ~TuiSheet() override;
  TuiSheet(const TuiSheet&) = delete;
  TuiSheet& operator=(const TuiSheet&) = delete;

  // Runs the sheet until it ends or the user quits; the exit code.
  int run();

  int runDialog(WindowId dialog, DialogProcedures procedures) override;
  void endDialog(WindowId dialog, int result) override;
  void endSheet(int exitCode) override;
  int messageBox(const MessageBoxRequest& request) override;
  std::optional<std::string> openFile(const std::string& title, const std::string& filter) override;

 private:
  struct Page {
    WindowId window;
    const res::DialogTemplate* tpl;
    bool created = false;
    WindowView view;
  };
  struct Dialog {
    WindowId window;
    DialogProcedures procedures;
    bool ended = false;
    int result = 0;
    WindowView view;
  };
  // A box or file dialog that a worker waits for.
  struct Request {
    bool file = false;
    MessageBoxRequest box;
    std::string title;
    bool done = false;
    int answer = 0;
    std::optional<std::string> path;
  };

  bool stopped() const { return quit_ || sheetEnded_; }
  void pump();
  void onChange(const UiChange& change);
  void reload(WindowView& view, WindowId w, const std::set<int>& controls, bool all);
  void refreshViews();
  void render();
  void resized();
  void key(int ch);
  void windowKey(WindowView& view, WindowId w, int ch, bool isPage);
  void menuKey(int ch);
  void press(WindowView& view, WindowId w, int id, bool isPage);
  void command(WindowId w, int id, bool isPage);
  void moveFocus(WindowView& view, int step);
  void showPage(size_t index);
  void requestQuit();
  void closeSheet();
  int showBox(const MessageBoxRequest& request);
  std::optional<std::string> showFile(const std::string& title);
  void serveRequests();
  WindowView* topView(WindowId* w, bool* isPage);

  Context& ctx_;
  SheetDescription sheet_;
  PageProcedures& procedures_;
  std::vector<Page> pages_;
  std::vector<Dialog*> dialogs_;  // innermost last
  int active_ = -1;
  MenuView menu_;
  BoxView* box_ = nullptr;
  std::optional<int> boxAnswer_;
  FileView* file_ = nullptr;
  std::optional<std::optional<std::string>> fileAnswer_;
  std::atomic<bool> quit_{false}, sheetEnded_{false};
  std::atomic<int> exitCode_{0};
  std::thread::id uiThread_;
  int listener_ = 0;
  bool screenUp_ = false;
  int width_ = 0, height_ = 0;
  std::optional<Grid> shown_;  // what the terminal shows now
  bool layoutDirty_ = true;    // focus, menu, pages, boxes: the sheet's own state

  WakePipe wake_;
  std::mutex m_;  // guards what workers write: the dirty set and requests
  std::map<WindowId, std::pair<bool, std::set<int>>> dirty_;  // (all, controls)
  bool menuDirty_ = false;
  bool woken_ = false;
  std::deque<Request*> requests_;
  std::condition_variable answered_;
};

// Runs the sheet in the terminal on standard input and output.
int runTuiSheet(Context& ctx, const SheetDescription& sheet, PageProcedures& procedures);

}  // namespace tui
}  // namespace ferrolan
