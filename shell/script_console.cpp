#include "shell/script_console.h"

#include <charconv>
#include <cstdint>

#include "app/context.h"
#include "core/text.h"
#include "shell/resources.h"
#include "shell/sheet_pages.h"

namespace ferrolan {

namespace {

// Longer input lines are refused whole rather than split into commands.
constexpr size_t kMaxLine = 4096;
constexpr long kMaxWaitMs = 3600L * 1000;

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

// What a message box's first button answers, by its button set.
int firstButton(unsigned type) {
  switch (type & 0xF) {
    case 2: return 3;  // Abort
    case 3:
    case 4: return 6;  // Yes
    case 5: return 4;  // Retry
    default: return kIdOk;
  }
}

bool clickable(res::ControlKind k) {
  using K = res::ControlKind;
  return k == K::Button || k == K::DefaultButton || k == K::CheckBox || k == K::RadioButton;
}

}  // namespace

std::string scriptText(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    if (c == '\\')
      out += "\\\\";
    else if (c == '\r')
      out += "\\r";
    else if (c == '\n')
      out += "\\n";
    else
      out += c;
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
    : ctx_(ctx), sheet_(sheet), procedures_(procedures), in_(in), out_(out) {
  const size_t count = static_cast<size_t>(std::clamp(sheet_.pageCount, 0, static_cast<int>(sheet_.pages.size())));
  for (size_t i = 0; i < count; ++i) pages_.push_back({sheet_.pages[i], sheet_.templates[i]});
  // Changes from now on; what came before (start-up's lines) the Text page
  // replays when it is created.
  auto sub = ctx_.ui.addListenerWithItems(WindowId::TextPage, ids::kTextLog, [this](const UiChange& c) { onChange(c); });
  listener_ = sub.id;
  {
    std::lock_guard l(m_);
    nextSeq_ = sub.seq + 1;
    std::erase_if(waiting_, [&](const auto& e) { return e.first < nextSeq_; });
  }
  ctx_.ui.setHost(this);
  ctx_.app.postQuit = [this](int code) { endSheet(code); };
}

ScriptConsole::~ScriptConsole() {
  ctx_.app.postQuit = nullptr;
  ctx_.ui.setHost(nullptr);
  if (listener_) ctx_.ui.removeListener(listener_);
}

void ScriptConsole::emit(const std::string& line) {
  std::lock_guard l(outMutex_);
  // A reader that went away loses the text, never the run.
  if (std::fputs(line.c_str(), out_) < 0 || std::fputc('\n', out_) == EOF || std::fflush(out_) != 0)
    std::clearerr(out_);
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

void ScriptConsole::showPage(size_t index) {
  showSheetPage(pages_, active_, index, procedures_, [this](Page& p) {
    const res::DialogTemplate* tpl = res::findTemplate(p.templateId);
    if (!tpl || tpl->window != p.window) tpl = res::templateFor(p.window, sheet_.layout);
    ctx_.ui.openWindow(p.window, tpl ? res::initialControls(*tpl) : std::vector<std::pair<int, ControlState>>{});
  });
}

int ScriptConsole::run() {
  uiThread_ = std::this_thread::get_id();
  if (procedures_.started) procedures_.started(*this);
  if (!pages_.empty()) showPage(0);
  // The Text page's unattended update owns the port while it runs; a
  // script's first Connect would race it for the line (and lose it when
  // the update closes the port), so commands wait for it to end.
  if (auto update = ctx_.app.autoUpdateThread.get()) update->wait();
  while (!quit_ && !sheetEnded_) {
    auto line = readLine();
    if (!line) break;
    handle(*line);
  }
  closeSheet();
  // Nothing is printed after the exit line: the workers that outlive the
  // sheet write to a model no one shows.
  waitUntilPrinted();
  ctx_.ui.removeListener(listener_);
  listener_ = 0;
  ctx_.ui.setHost(nullptr);
  emit("exit " + std::to_string(exitCode_.load()));
  return exitCode_;
}

void ScriptConsole::requestQuit() {
  {
    std::lock_guard l(fileMutex_);
    quit_ = true;
  }
  fileAnswered_.notify_all();
  // Commands stop at once; open dialogs end and the rows that opened them
  // go no further.
  ctx_.app.sheetClosing = 1;
  for (Dialog* d : dialogs_) d->ended = true;
}

void ScriptConsole::closeSheet() {
  requestQuit();
  closeSheetPages(pages_, procedures_, ctx_.ui);
}

void ScriptConsole::endSheet(int exitCode) {
  exitCode_ = exitCode;
  sheetEnded_ = true;
  for (Dialog* d : dialogs_) d->ended = true;
}

void ScriptConsole::handle(const std::string& line) {
  const auto [word, rest] = split(line);
  if (word == "file" && answerWorkerFile(rest)) return;
  if (word.empty()) {
    if (!line.empty()) error(line, "empty command");
    return;
  }
  if (word == "quit") return requestQuit();
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
  if (!dialogs_.empty()) return handleDialog(*dialogs_.back(), line, word, rest);
  if (word == "page") {
    for (size_t i = 0; i < pages_.size(); ++i)
      if (scriptWindowName(pages_[i].window) == rest) return showPage(i);
    return error(line, "no such page");
  }
  if (word == "cmd") {
    const auto id = number(rest);
    if (!id || *id < 0 || *id > INT32_MAX) return error(line, "cmd takes a command id");
    if (active_ < 0) return error(line, "no page");
    if (procedures_.command) procedures_.command(pages_[static_cast<size_t>(active_)].window, static_cast<int>(*id));
    return;
  }
  if (word == "set" || word == "pick" || word == "check" || word == "click") return error(line, "no dialog open");
  if (word == "file") return error(line, "no file dialog open");
  error(line, "unknown command");
}

void ScriptConsole::handleDialog(Dialog& d, const std::string& line, const std::string& word,
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
  const res::DialogTemplate* tpl = res::findTemplate(d.templateId);
  const res::ControlTemplate* c = tpl ? res::findControl(*tpl, id) : nullptr;
  auto command = [&](int cmd) {
    if (d.procedures.command)
      d.procedures.command(w, cmd);
    else if (cmd == ids::kOk || cmd == ids::kCancel)
      endDialog(w, cmd);
  };
  // Enter and Escape reach every dialog, with or without such buttons.
  if (word == "click" && !c && (id == ids::kOk || id == ids::kCancel)) return command(id);
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
  if (c->kind == K::CheckBox) {
    ctx_.ui.setChecked(w, id, word == "check" ? want : !ctx_.ui.checked(w, id));
  } else if (c->kind == K::RadioButton) {
    // An auto radio button checks itself and clears the others.
    for (const res::ControlTemplate& other : tpl->controls)
      if (other.kind == K::RadioButton && other.id != id) ctx_.ui.setChecked(w, other.id, false);
    ctx_.ui.setChecked(w, id, true);
  }
  command(id);
}

int ScriptConsole::runDialog(WindowId window, DialogProcedures procedures) {
  const res::DialogTemplate* tpl = res::templateFor(window, sheet_.layout);
  if (!tpl || tpl->isPage || quit_ || sheetEnded_) return 0;
  for (Dialog* open : dialogs_)
    if (open->window == window) return 0;
  Dialog d{window, tpl->id, std::move(procedures)};
  ctx_.ui.openWindow(window, res::initialControls(*tpl));
  dialogs_.push_back(&d);
  if (d.procedures.initialized) d.procedures.initialized(window);
  while (!d.ended) {
    auto line = readLine();
    if (!line) {
      requestQuit();  // the end of input closes the dialog and the sheet
      break;
    }
    handle(*line);
  }
  dialogs_.pop_back();
  ctx_.ui.closeWindow(window);
  return d.result;
}

void ScriptConsole::endDialog(WindowId window, int result) {
  for (Dialog* d : dialogs_) {
    if (d->window != window || d->ended) continue;
    d->ended = true;
    d->result = result;
  }
}

int ScriptConsole::messageBox(const MessageBoxRequest& request) {
  emit("box " + scriptText(request.caption) + "|" + scriptText(request.text));
  return firstButton(request.type);
}

bool ScriptConsole::answerWorkerFile(const std::string& path) {
  std::lock_guard l(fileMutex_);
  if (!fileWanted_) return false;
  fileWanted_ = false;
  fileDone_ = true;
  fileAnswer_ = path.empty() ? std::nullopt : std::optional<std::string>(path);
  fileAnswered_.notify_all();
  return true;
}

std::optional<std::string> ScriptConsole::openFile(const std::string& title, const std::string&) {
  if (std::this_thread::get_id() != uiThread_) {
    // A worker's dialog (an update asking for its file again): the script
    // is read on the UI thread only, which hands the answer over.
    std::unique_lock l(fileMutex_);
    if (quit_) return std::nullopt;
    fileWanted_ = true;
    fileDone_ = false;
    emit("file " + scriptText(title));
    fileAnswered_.wait(l, [&] { return fileDone_ || quit_; });
    fileWanted_ = false;
    if (!fileDone_) return std::nullopt;
    return fileAnswer_;
  }
  emit("file " + scriptText(title));
  auto line = readLine();
  if (!line) {
    requestQuit();
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

int runScriptConsole(Context& ctx, const SheetDescription& sheet, PageProcedures& procedures) {
  ScriptConsole console(ctx, sheet, procedures, stdin, stdout);
  return console.run();
}

}  // namespace ferrolan
