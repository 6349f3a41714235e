#include "shell/script_console.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstdint>
#include <thread>

#include "app/context.h"
#include "core/text.h"
#include "shell/resources.h"

namespace ferrolan {

namespace {

// Longer input lines are refused whole rather than split into commands.
constexpr size_t kMaxLine = 4096;
constexpr long kMaxWaitMs = 3600L * 1000;
constexpr int kExitLockTries = 200;  // 2 s in steps of 10 ms

std::optional<long> number(std::string_view text) {
  long v = 0;
  const char* end = text.data() + text.size();
  auto [p, ec] = std::from_chars(text.data(), end, v);
  if (ec != std::errc() || p != end || text.empty()) return std::nullopt;
  return v;
}

// The first word and the rest after one blank.
std::pair<std::string, std::string> split(const std::string& line) {
  const size_t blank = line.find(' ');
  if (blank == std::string::npos) return {line, {}};
  return {line.substr(0, blank), line.substr(blank + 1)};
}

bool clickable(res::ControlKind k) {
  using K = res::ControlKind;
  return k == K::Button || k == K::DefaultButton || k == K::CheckBox || k == K::RadioButton;
}

}  // namespace

std::string scriptText(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    const char c = text[i];
    const size_t length = utf8SequenceLength(text, i);
    const size_t step = std::max<size_t>(length, 1);  // a stray byte alone
    const auto lead = static_cast<unsigned char>(c);
    // C1 controls (U+0080 to U+009F) act on terminals as the C0 ones do.
    const bool control = lead < 0x20 || lead == 0x7F ||
                         (length == 2 && lead == 0xC2 && static_cast<unsigned char>(text[i + 1]) < 0xA0);
    if (c == '\\') {
      out += "\\\\";
    } else if (c == '\r') {
      out += "\\r";
    } else if (c == '\n') {
      out += "\\n";
    } else if (length == 0 || control) {
      for (size_t k = 0; k < step; ++k)
        out += format("\\x%02X", static_cast<unsigned char>(text[i + k]));
    } else {
      out.append(text.substr(i, length));
    }
    i += step;
  }
  return out;
}

std::string scriptWindowName(WindowId w) {
  switch (w) {
    case WindowId::TextPage: return "text";
    case WindowId::InfoPage: return "info";
    case WindowId::SkyPage: return "sky";
    default: return "dlg" + std::to_string(static_cast<int>(w));
  }
}

std::optional<std::string> scriptLine(const UiChange& c) {
  const std::string at = scriptWindowName(c.window) + ":" + std::to_string(c.control);
  switch (c.kind) {
    case UiChangeKind::WindowOpened: return "open " + scriptWindowName(c.window);
    case UiChangeKind::WindowClosed: return "close " + scriptWindowName(c.window);
    case UiChangeKind::ListAppend:
    case UiChangeKind::ListInsertTop:
      if (c.window != WindowId::TextPage || c.control != ids::kTextLog) return std::nullopt;
      return "log " + scriptText(c.text);
    case UiChangeKind::Text: return "text " + at + " " + scriptText(c.text);
    case UiChangeKind::Progress: return "progress " + at + " " + std::to_string(c.value);
    case UiChangeKind::Enabled: return "enable " + at + (c.value ? " 1" : " 0");
    case UiChangeKind::Visible: return "show " + at + (c.value ? " 1" : " 0");
    case UiChangeKind::Checked: return "check " + at + (c.value ? " 1" : " 0");
    case UiChangeKind::Selection:
      return "select " + at + " " + std::to_string(c.value < 0 ? -1 : c.value) + " " + scriptText(c.text);
    case UiChangeKind::Menu: return "menu " + std::to_string(c.control) + (c.value ? " 1" : " 0");
    default: return std::nullopt;
  }
}

ScriptConsole::ScriptConsole(Context& ctx, const SheetDescription& sheet, PageProcedures& procedures,
                             std::FILE* in, std::FILE* out)
    : ctx_(ctx), session_(ctx, sheet, procedures, *this), in_(in), out_(out) {
  // Changes from now on; what came before (start-up's lines) the Text page
  // replays when it is created.
  auto sub = ctx_.ui.addListenerWithItems(WindowId::TextPage, ids::kTextLog, [this](const UiChange& c) { onChange(c); });
  listener_ = sub.id;
  {
    std::lock_guard l(m_);
    nextSeq_ = sub.seq + 1;
    std::erase_if(waiting_, [&](const auto& e) { return e.first < nextSeq_; });
  }
}

ScriptConsole::~ScriptConsole() {
  if (listener_) ctx_.ui.removeListener(listener_);
}

void ScriptConsole::emit(const std::string& line) {
  std::lock_guard l(outMutex_);
  write(line);
}

void ScriptConsole::write(const std::string& line) {
  if (exited_) return;
  // A reader that went away loses the text, never the run.
  if (std::fwrite(line.data(), 1, line.size(), out_) != line.size() || std::fputc('\n', out_) == EOF ||
      std::fflush(out_) != 0)
    std::clearerr(out_);
}

void ScriptConsole::printExit(int code) {
  // A reader that stopped reading may hold a writer in fwrite: a signal's
  // end then goes without the line rather than waiting on it for ever.
  // (Tries rather than a timed lock, which the thread checker cannot see.)
  std::unique_lock l(outMutex_, std::defer_lock);
  for (int tries = 0; !l.try_lock(); ++tries) {
    if (tries == kExitLockTries) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  write("exit " + std::to_string(code));
  exited_ = true;
}

void ScriptConsole::onChange(const UiChange& change) {
  std::lock_guard l(m_);
  if (change.seq < nextSeq_) return;  // before this console started
  printInOrder(change);
}

void ScriptConsole::printInOrder(UiChange change) {
  waiting_.emplace(change.seq, std::move(change));
  for (auto it = waiting_.begin(); it != waiting_.end() && it->first == nextSeq_; it = waiting_.erase(it)) {
    ++nextSeq_;
    const UiChange& c = it->second;
    if (c.kind == UiChangeKind::WindowOpened) std::erase_if(menuState_, [&](const auto& e) { return e.first.first == c.window; });
    if (c.kind == UiChangeKind::Menu) {
      // Items start enabled; only a change of state is shown.
      auto [slot, fresh] = menuState_.emplace(std::pair(c.window, c.control), true);
      if (slot->second == (c.value != 0)) continue;
      slot->second = c.value != 0;
    }
    if (auto line = scriptLine(c)) emit(*line);
  }
  printed_.notify_all();
}

void ScriptConsole::waitUntilPrinted() {
  const uint64_t target = ctx_.ui.lastChange();
  std::unique_lock l(m_);
  printed_.wait(l, [&] { return nextSeq_ > target; });
}

void ScriptConsole::error(const std::string& line, const std::string& reason) {
  emit("error " + scriptText(line) + ": " + reason);
}

std::optional<std::string> ScriptConsole::readLine() {
  if (inputEnded_) return std::nullopt;
  std::string line;
  bool tooLong = false;
  for (;;) {
    const int c = std::fgetc(in_);
    if (c == EOF) {
      if (line.empty() && !tooLong) {
        inputEnded_ = true;
        return std::nullopt;
      }
      inputEnded_ = true;
      break;
    }
    if (c == '\n') break;
    if (line.size() < kMaxLine)
      line += static_cast<char>(c);
    else
      tooLong = true;
  }
  if (!line.empty() && line.back() == '\r') line.pop_back();
  if (tooLong) {
    error(line.substr(0, 40) + "...", "line too long");
    return std::string();
  }
  return line;
}

int ScriptConsole::run() {
  session_.start();
  // The Text page's unattended update owns the port while it runs; a
  // script's first Connect would race it for the line (and lose it when
  // the update closes the port), so commands wait for it to end.
  if (auto update = ctx_.app.autoUpdateThread.get()) update->wait();
  while (!session_.stopped()) {
    auto line = readLine();
    if (!line) break;
    handle(*line);
  }
  session_.closeSheet();
  // Nothing is printed after the exit line: the workers that outlive the
  // sheet write to a model no one shows.
  waitUntilPrinted();
  ctx_.ui.removeListener(listener_);
  listener_ = 0;
  printExit(session_.exitCode());
  return session_.exitCode();
}

void ScriptConsole::handle(const std::string& line) {
  const auto [word, rest] = split(line);
  if (word == "file" && session_.answerFile(rest.empty() ? std::nullopt : std::optional<std::string>(rest))) return;
  if (word.empty()) {
    if (!line.empty()) error(line, "empty command");
    return;
  }
  if (word == "quit") return session_.requestQuit();
  if (word == "sync") {
    waitUntilPrinted();
    return emit("sync");
  }
  if (word == "wait") {
    const auto ms = number(rest);
    if (!ms || *ms < 0 || *ms > kMaxWaitMs) return error(line, "wait takes milliseconds, 0 to 3600000");
    ctx_.clock.sleepMs(static_cast<uint32_t>(*ms));
    return;
  }
  if (!session_.dialogs().empty()) return handleDialog(*session_.dialogs().back(), line, word, rest);
  if (word == "page") {
    const auto& pages = session_.pages();
    for (size_t i = 0; i < pages.size(); ++i)
      if (scriptWindowName(pages[i].window) == rest) return session_.showPage(i);
    return error(line, "no such page");
  }
  if (word == "cmd") {
    const auto id = number(rest);
    if (!id || *id < 0 || *id > INT32_MAX) return error(line, "cmd takes a command id");
    const SheetPage* page = session_.activePage();
    if (!page) return error(line, "no page");
    return session_.command(page->window, static_cast<int>(*id));
  }
  if (word == "set" || word == "pick" || word == "check" || word == "click") return error(line, "no dialog open");
  if (word == "file") return error(line, "no file dialog open");
  error(line, "unknown command");
}

void ScriptConsole::handleDialog(SheetDialog& d, const std::string& line, const std::string& word,
                                 const std::string& rest) {
  if (word == "page" || word == "cmd") return error(line, "a dialog is open");
  if (word != "set" && word != "pick" && word != "check" && word != "click") {
    return error(line, word == "file" ? "no file dialog open" : "unknown command");
  }
  const auto [idText, arg] = split(rest);
  const auto idValue = number(idText);
  if (!idValue) return error(line, "no such control");
  const int id = static_cast<int>(*idValue);
  const WindowId w = d.window;
  const res::ControlTemplate* c = res::findControl(*d.tpl, id);
  // Enter and Escape reach every dialog, with or without such buttons.
  if (word == "click" && !c && (id == ids::kOk || id == ids::kCancel)) return session_.command(w, id);
  if (!c || !ctx_.ui.hasControl(w, id)) return error(line, "no such control");
  using K = res::ControlKind;
  if (word == "set") {
    const auto items = ctx_.ui.items(w, id);
    for (size_t i = 0; i < items.size(); ++i)
      if (items[i] == arg) return ctx_.ui.setSelection(w, id, static_cast<int>(i));
    if (c->kind == K::ComboBox) return ctx_.ui.typeText(w, id, arg);
    if (c->kind == K::Edit) return ctx_.ui.setText(w, id, arg);
    return error(line, c->kind == K::DropList || c->kind == K::ListBox ? "no such entry" : "not an edit or list");
  }
  if (word == "pick") {
    const auto index = number(arg);
    const auto items = ctx_.ui.items(w, id);
    if (!index || *index < 0 || *index >= static_cast<long>(items.size())) return error(line, "no such entry");
    return ctx_.ui.setSelection(w, id, static_cast<int>(*index));
  }
  if (!ctx_.ui.enabled(w, id)) return error(line, "control is disabled");
  bool want = true;
  if (word == "check") {
    if (c->kind != K::CheckBox && c->kind != K::RadioButton) return error(line, "not a check box");
    if (arg != "0" && arg != "1") return error(line, "check takes 0 or 1");
    want = arg == "1";
    if (ctx_.ui.checked(w, id) == want) return;
    if (c->kind == K::RadioButton && !want) return error(line, "a radio button is cleared by choosing another");
  } else if (!clickable(c->kind)) {
    return error(line, "not a button");
  }
  // A check box whose state differs toggles to the state wanted.
  session_.press(w, id);
}

void ScriptConsole::runDialog(SheetDialog& d) {
  while (!d.ended && !session_.stopped()) {
    auto line = readLine();
    if (!line) {
      session_.requestQuit();  // the end of input closes the dialog and the sheet
      break;
    }
    handle(*line);
  }
}

int ScriptConsole::showBox(const MessageBoxRequest& request) {
  emit("box " + scriptText(request.caption) + "|" + scriptText(request.text));
  return firstBoxAnswer(request.type);
}

void ScriptConsole::requestWaiting(const SheetRequest& request) {
  // A worker's file dialog (an update asking for its file again): the
  // script is read on the UI thread only, whose next `file` line answers.
  if (request.file) emit("file " + scriptText(request.title));
}

std::optional<std::string> ScriptConsole::showFile(const std::string& title, const std::string&) {
  emit("file " + scriptText(title));
  auto line = readLine();
  if (!line) {
    session_.requestQuit();
    return std::nullopt;
  }
  const auto [word, path] = split(*line);
  if (word != "file") {
    error(*line, "a file dialog is open: file PATH or file");
    return std::nullopt;
  }
  if (path.empty()) return std::nullopt;
  return path;
}

namespace {
// The console a signal's end prints through, while one runs.
std::mutex runningMutex;
ScriptConsole* running = nullptr;
}  // namespace

int runScriptConsole(Context& ctx, const SheetDescription& sheet, PageProcedures& procedures) {
  ScriptConsole console(ctx, sheet, procedures, stdin, stdout);
  {
    std::lock_guard l(runningMutex);
    running = &console;
  }
  const int code = console.run();
  std::lock_guard l(runningMutex);
  running = nullptr;
  return code;
}

void endScriptConsole(int code) {
  std::lock_guard l(runningMutex);
  if (running) running->printExit(code);
}

}  // namespace ferrolan
