#pragma once
// The sheet as every front end works it: the pages (created when first
// shown, activated in turn, closed with the sheet), the stack of modal
// dialogs, quitting and the sheet's own end, and the boxes and file prompts
// that workers ask for and the UI thread answers. A front end (the window,
// the terminal, the script) supplies only drawing and input.

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "shell/front_end.h"
#include "shell/resources.h"
#include "ui/ui_model.h"

namespace ferrolan {

struct Context;

struct SheetPage {
  WindowId window;
  const res::DialogTemplate* tpl;
  bool created = false;
};

struct SheetDialog {
  WindowId window;
  const res::DialogTemplate* tpl;
  DialogProcedures procedures;
  bool ended = false;
  int result = 0;
};

// A box or file dialog that a worker waits for; the UI thread answers it.
struct SheetRequest {
  bool file = false;
  MessageBoxRequest box;
  std::string title, filter;
};

// What a front end does for the session, on its UI thread unless told.
class SheetFrontEnd {
 public:
  virtual ~SheetFrontEnd() = default;
  // The window is open in the model with its template's controls, before
  // its procedure hears of it.
  virtual void pageOpened(const SheetPage&) {}
  virtual void dialogOpened(SheetDialog&) {}
  // Works input until the dialog has ended or the sheet stops.
  virtual void runDialog(SheetDialog& dialog) = 0;
  // The dialog ended (its procedure, or the sheet closing); its window
  // closes once runDialog has returned.
  virtual void dialogEnded(SheetDialog&) {}
  virtual void dialogClosed(SheetDialog&) {}
  virtual int showBox(const MessageBoxRequest& request) = 0;
  virtual std::optional<std::string> showFile(const std::string& title, const std::string& filter) = 0;
  // True when showBox may run on the asking thread (a box that needs no one).
  virtual bool answersBoxesAnywhere() const { return false; }
  // Any thread: a worker now waits for a request; the UI thread calls
  // serveRequests (or answerFile) when it can.
  virtual void requestWaiting(const SheetRequest&) {}
  // Any thread: the sheet was asked to end; the UI loop should look.
  virtual void sheetEnding() {}
};

// The answer a box gives when it is closed without a button: Cancel where
// there is one, else its first button.
int closedBoxAnswer(unsigned type);
// What a box's first button answers, by its button set.
int firstBoxAnswer(unsigned type);

class SheetSession : public SheetHost, public UiHost {
 public:
  // Takes the model's host and the program's quit message for its life.
  SheetSession(Context& ctx, const SheetDescription& sheet, PageProcedures& procedures, SheetFrontEnd& frontEnd);
  ~SheetSession() override;
  SheetSession(const SheetSession&) = delete;
  SheetSession& operator=(const SheetSession&) = delete;

  const SheetDescription& sheet() const { return sheet_; }
  const std::vector<SheetPage>& pages() const { return pages_; }
  int activeIndex() const { return active_; }
  const SheetPage* activePage() const;
  const std::vector<SheetDialog*>& dialogs() const { return dialogs_; }
  SheetDialog* dialog(WindowId window) const;
  bool isPage(WindowId window) const;

  bool quitting() const { return quit_; }
  bool ended() const { return sheetEnded_; }
  bool stopped() const { return quit_ || sheetEnded_; }
  int exitCode() const { return exitCode_; }
  bool onUiThread() const { return std::this_thread::get_id() == uiThread_; }

  // On the UI thread, once: the procedures hear the host, the first page shows.
  void start();
  // Makes page `index` the active one, creating it the first time.
  void showPage(size_t index);
  // A command to a page, or to a dialog (which, without a procedure, ends
  // on OK and Cancel).
  void command(WindowId window, int id);
  // A click on a button, check box or radio button of the window: an auto
  // check box toggles, a radio button checks itself and clears the others,
  // then the command goes out. Nothing for a control that is disabled.
  void press(WindowId window, int id);
  // What Enter gives in a dialog: its default button, or OK where it has
  // none; nothing while the default button is disabled.
  std::optional<int> enterCommand(WindowId dialog) const;

  // The user quits: commands stop at once, open dialogs end.
  void requestQuit();
  // Quits, then every page that was shown hears the close and its window
  // closes. Runs once.
  void closeSheet();

  // UI thread: shows the oldest waiting request with the front end and
  // hands its answer over. False when none waits.
  bool serveRequests();
  // UI thread: answers the oldest waiting file request with a path or a
  // cancel; false when none waits.
  bool answerFile(std::optional<std::string> path);

  int runDialog(WindowId dialog, DialogProcedures procedures) override;
  void endDialog(WindowId dialog, int result) override;
  void endSheet(int exitCode) override;
  int messageBox(const MessageBoxRequest& request) override;
  std::optional<std::string> openFile(const std::string& title, const std::string& filter) override;

 private:
  struct Waiting {
    SheetRequest request;
    bool done = false;
    int answer = 0;
    std::optional<std::string> path;
  };
  // Runs the request on the UI thread and waits for its answer; nothing
  // once the sheet stops.
  std::optional<Waiting> ask(SheetRequest request);

  Context& ctx_;
  SheetDescription sheet_;
  PageProcedures& procedures_;
  SheetFrontEnd& frontEnd_;
  std::vector<SheetPage> pages_;
  std::vector<SheetDialog*> dialogs_;  // open dialogs, innermost last
  int active_ = -1;
  bool started_ = false, closed_ = false;
  std::thread::id uiThread_;
  std::atomic<bool> quit_{false}, sheetEnded_{false};
  std::atomic<int> exitCode_{0};

  std::mutex m_;  // the waiting requests and the flags their waiters read
  std::condition_variable answered_;
  std::deque<Waiting*> waiting_;
  Waiting* serving_ = nullptr;  // shown by the UI thread now
};

}  // namespace ferrolan
