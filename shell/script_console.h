#pragma once
// The three-page sheet with no window, driven by a script: commands in, one
// line per change of the UI model out. For scripts, tests and headless
// machines; the line protocol is documented in README and --help.

#include <condition_variable>
#include <cstdio>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "shell/front_end.h"
#include "shell/sheet_session.h"
#include "ui/ui_model.h"

namespace ferrolan {

struct Context;

// A printed text: backslash, CR and LF written as \\, \r and \n, every
// other control byte and every byte outside a well-formed UTF-8 sequence
// as \xNN, so that a line is whole and safe on a terminal.
std::string scriptText(std::string_view text);
// The name of a window in the protocol: text, info, sky, or dlgN.
std::string scriptWindowName(WindowId w);
// The protocol line for a change, or nothing for changes it does not show
// (menu changes are filtered by the console, which knows their last state).
std::optional<std::string> scriptLine(const UiChange& change);

class ScriptConsole : public SheetFrontEnd {
 public:
  ScriptConsole(Context& ctx, const SheetDescription& sheet, PageProcedures& procedures, std::FILE* in,
                std::FILE* out);
  ~ScriptConsole() override;
  ScriptConsole(const ScriptConsole&) = delete;
  ScriptConsole& operator=(const ScriptConsole&) = delete;

  // Runs the sheet until `quit`, the end of input or the sheet's own end;
  // answers the exit code, which it prints last.
  int run();
  // Prints the exit line now; every later line is dropped.
  void printExit(int code);

  void runDialog(SheetDialog& dialog) override;
  int showBox(const MessageBoxRequest& request) override;
  std::optional<std::string> showFile(const std::string& title, const std::string& filter) override;
  // A box is a line and its first button's answer, on any thread.
  bool answersBoxesAnywhere() const override { return true; }
  void requestWaiting(const SheetRequest& request) override;

 private:
  std::optional<std::string> readLine();
  void handle(const std::string& line);
  void handleDialog(SheetDialog& d, const std::string& line, const std::string& word, const std::string& rest);
  void error(const std::string& line, const std::string& reason);
  void emit(const std::string& line);  // takes outMutex_
  void onChange(const UiChange& change);
  void printInOrder(UiChange change);  // under m_
  void waitUntilPrinted();

  Context& ctx_;
  SheetSession session_;
  std::FILE* in_;
  std::FILE* out_;
  bool inputEnded_ = false;
  int listener_ = 0;

  void write(const std::string& line);  // under outMutex_
  std::mutex outMutex_;
  bool exited_ = false;  // under outMutex_
  // Changes are printed in the order the model made them, whatever thread
  // tells them first.
  std::mutex m_;
  std::condition_variable printed_;
  uint64_t nextSeq_ = 1;
  std::map<uint64_t, UiChange> waiting_;
  std::map<std::pair<WindowId, int>, bool> menuState_;
};

// Runs the three-page sheet under a script read from standard input.
int runScriptConsole(Context& ctx, const SheetDescription& sheet, PageProcedures& procedures);

// For an end by signal, on the signal's thread just before the process
// ends: the running console (if any) prints its exit line with that code,
// and nothing after it.
void endScriptConsole(int code);

}  // namespace ferrolan
