#pragma once
// The three-page sheet with no window, driven by a script: commands in, one
// line per change of the UI model out. For scripts, tests and headless
// machines; the line protocol is documented in README and --help.

#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "shell/front_end.h"
#include "ui/ui_model.h"

namespace ferrolan {

struct Context;

// A printed text: backslash, CR and LF written as \\, \r and \n.
std::string scriptText(std::string_view text);
// The name of a window in the protocol: text, info, sky, or dlgN.
std::string scriptWindowName(WindowId w);
// The protocol line for a change, or nothing for changes it does not show
// (menu changes are filtered by the console, which knows their last state).
std::optional<std::string> scriptLine(const UiChange& change);

class ScriptConsole : public SheetHost, public UiHost {
 public:
  ScriptConsole(Context& ctx, const SheetDescription& sheet, PageProcedures& procedures, std::FILE* in,
                std::FILE* out);
  ~ScriptConsole() override;
  ScriptConsole(const ScriptConsole&) = delete;
  ScriptConsole& operator=(const ScriptConsole&) = delete;

  // Runs the sheet until `quit`, the end of input or the sheet's own end;
  // answers the exit code, which it prints last.
  int run();

  int runDialog(WindowId dialog, DialogProcedures procedures) override;
  void endDialog(WindowId dialog, int result) override;
  void endSheet(int exitCode) override;

  int messageBox(const MessageBoxRequest& request) override;
  std::optional<std::string> openFile(const std::string& title, const std::string& filter) override;

 private:
  struct Page {
    WindowId window;
    int templateId;
    bool created = false;
  };
  struct Dialog {
    WindowId window;
    int templateId;
    DialogProcedures procedures;
    bool ended = false;
    int result = 0;
  };

  std::optional<std::string> readLine();
  void handle(const std::string& line);
  void handleDialog(Dialog& d, const std::string& line, const std::string& word, const std::string& rest);
  void showPage(size_t index);
  void closeSheet();
  void requestQuit();
  void error(const std::string& line, const std::string& reason);
  void emit(const std::string& line);  // under out_ lock
  void onChange(const UiChange& change);
  void printInOrder(UiChange change);  // under m_
  void waitUntilPrinted();
  // A `file` line for a worker's open file dialog; false when none waits.
  bool answerWorkerFile(const std::string& path);

  Context& ctx_;
  SheetDescription sheet_;
  PageProcedures& procedures_;
  std::FILE* in_;
  std::FILE* out_;
  std::vector<Page> pages_;
  std::vector<Dialog*> dialogs_;  // open dialogs, innermost last
  int active_ = -1;
  bool inputEnded_ = false;
  std::atomic<bool> quit_{false};
  std::atomic<bool> sheetEnded_{false};
  std::atomic<int> exitCode_{0};
  int listener_ = 0;

  std::mutex outMutex_;
  // Changes are printed in the order the model made them, whatever thread
  // tells them first.
  std::mutex m_;
  std::condition_variable printed_;
  uint64_t nextSeq_ = 1;
  std::map<uint64_t, UiChange> waiting_;
  std::map<std::pair<WindowId, int>, bool> menuState_;

  std::thread::id uiThread_;
  std::mutex fileMutex_;
  std::condition_variable fileAnswered_;
  bool fileWanted_ = false, fileDone_ = false;
  std::optional<std::string> fileAnswer_;
};

// Runs the three-page sheet under a script read from standard input.
int runScriptConsole(Context& ctx, const SheetDescription& sheet, PageProcedures& procedures);

}  // namespace ferrolan
