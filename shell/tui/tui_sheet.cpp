#include "shell/tui/tui_sheet.h"

#include <curses.h>

#include <algorithm>
#include <cstdio>

#include "app/context.h"
#include "shell/script_console.h"
#include "shell/sheet_pages.h"

namespace ferrolan::tui {

namespace {

// The wait between looks at the terminal when nothing wakes the loop: a
// resize may be told to another thread's signal handler.
constexpr int kIdleMs = 200;
constexpr int kEscape = 27;
constexpr int kPairUsed = 1, kPairNotUsed = 2, kPairRing = 3, kPairLabel = 4;

bool clickable(res::ControlKind k) {
  using K = res::ControlKind;
  return k == K::Button || k == K::DefaultButton || k == K::CheckBox || k == K::RadioButton;
}

const res::ControlTemplate* control(const WindowView& v, int id) {
  return v.tpl && id != ids::kStatic ? res::findControl(*v.tpl, id) : nullptr;
}

chtype attributes(const Cell& c, bool colour) {
  chtype a = c.reverse ? A_REVERSE : A_NORMAL;
  switch (c.ink) {
    case Ink::Normal: break;
    case Ink::Used: a |= colour ? COLOR_PAIR(kPairUsed) | A_BOLD : A_BOLD; break;
    case Ink::NotUsed: a |= colour ? COLOR_PAIR(kPairNotUsed) | A_BOLD : A_NORMAL; break;
    case Ink::Ring: a |= colour ? COLOR_PAIR(kPairRing) : A_NORMAL; break;
    case Ink::Label: a |= colour ? COLOR_PAIR(kPairLabel) | A_BOLD : A_BOLD; break;
    case Ink::Dim: a |= A_DIM; break;
  }
  return a;
}

std::string capability(const char* name) {
  const char* s = tigetstr(const_cast<char*>(name));
  return s && s != reinterpret_cast<const char*>(-1) ? std::string(s) : std::string();
}

int closedAnswer(unsigned type) {
  const auto buttons = boxButtons(type);
  for (const BoxButton& b : buttons)
    if (b.answer == 2) return 2;  // Cancel where there is one, else the first
  return buttons.front().answer;
}

}  // namespace

TuiSheet::TuiSheet(Context& ctx, const SheetDescription& sheet, PageProcedures& procedures)
    : ctx_(ctx), sheet_(sheet), procedures_(procedures) {
  const size_t count = static_cast<size_t>(std::clamp(sheet_.pageCount, 0, static_cast<int>(sheet_.pages.size())));
  for (size_t i = 0; i < count; ++i) {
    const res::DialogTemplate* tpl = res::findTemplate(sheet_.templates[i]);
    if (!tpl || tpl->window != sheet_.pages[i]) tpl = res::templateFor(sheet_.pages[i], sheet_.layout);
    if (!tpl) continue;
    Page p{sheet_.pages[i], tpl, false, {}};
    p.view.tpl = tpl;
    pages_.push_back(std::move(p));
  }
  listener_ = ctx_.ui.addListener([this](const UiChange& c) { onChange(c); });
  ctx_.ui.setHost(this);
  ctx_.app.postQuit = [this](int code) { endSheet(code); };
}

TuiSheet::~TuiSheet() {
  ctx_.app.postQuit = nullptr;
  ctx_.ui.setHost(nullptr);
  if (listener_) ctx_.ui.removeListener(listener_);
}

void TuiSheet::onChange(const UiChange& c) {
  std::lock_guard l(m_);
  if (c.kind == UiChangeKind::Menu) {
    menuDirty_ = true;
  } else {
    auto& [all, controls] = dirty_[c.window];
    if (c.kind == UiChangeKind::WindowOpened || c.kind == UiChangeKind::WindowClosed)
      all = true;
    else if (!all)
      controls.insert(c.control);
  }
  // One wake-up for a burst of changes: the loop takes them all at once.
  if (!woken_) {
    woken_ = true;
    wake_.wake();
  }
}

void TuiSheet::reload(WindowView& view, WindowId w, const std::set<int>& controls, bool all) {
  auto take = [&](int id) {
    if (auto s = ctx_.ui.control(w, id))
      view.controls[id] = std::move(*s);
    else
      view.controls.erase(id);
  };
  if (!all) {
    for (int id : controls) take(id);
    return;
  }
  view.controls.clear();
  if (view.tpl && view.tpl->isPage) take(0);
  if (view.tpl)
    for (const res::ControlTemplate& c : view.tpl->controls)
      if (c.id != ids::kStatic) take(c.id);
}

void TuiSheet::refreshViews() {
  std::map<WindowId, std::pair<bool, std::set<int>>> dirty;
  bool menu = false;
  {
    std::lock_guard l(m_);
    dirty.swap(dirty_);
    std::swap(menu, menuDirty_);
    woken_ = false;
  }
  if (menu) layoutDirty_ = true;
  for (auto& [w, change] : dirty) {
    WindowView* view = nullptr;
    for (Page& p : pages_)
      if (p.window == w && p.created) view = &p.view;
    for (Dialog* d : dialogs_)
      if (d->window == w) view = &d->view;
    if (!view) continue;
    reload(*view, w, change.second, change.first);
    layoutDirty_ = true;
  }
}

void TuiSheet::resized() {
  int h = 0, w = 0;
  getmaxyx(stdscr, h, w);
  if (h == height_ && w == width_) return;
  width_ = w;
  height_ = h;
  shown_.reset();
  layoutDirty_ = true;
}

void TuiSheet::render() {
  resized();
  if (!layoutDirty_) return;
  layoutDirty_ = false;
  ScreenState s;
  s.width = width_;
  s.height = height_;
  s.caption = sheet_.caption;
  for (const Page& p : pages_) s.tabs.push_back(p.tpl->caption.empty() ? scriptWindowName(p.window) : std::string(p.tpl->caption));
  s.activeTab = active_;
  if (active_ >= 0) {
    const Page& p = pages_[static_cast<size_t>(active_)];
    s.page = &p.view;
    s.menuBar = p.window == WindowId::InfoPage || p.window == WindowId::SkyPage;
    if (s.menuBar) {
      for (const res::Menu& m : res::commandBarMenu())
        for (const res::MenuItem& i : m.items) menu_.enabled[i.command] = ctx_.ui.menuEnabled(p.window, i.command);
    }
  }
  s.menu = menu_;
  for (const Dialog* d : dialogs_) s.dialogs.push_back(&d->view);
  s.box = box_;
  s.file = file_;
  Grid g = composeScreen(s);
  const bool colour = has_colors();
  const bool all = !shown_ || shown_->width() != g.width() || shown_->height() != g.height();
  if (all) erase();
  // Only the cells that differ go out; curses then sends what it must.
  for (int y = 0; y < g.height(); ++y)
    for (int x = 0; x < g.width(); ++x) {
      const Cell& c = g.cell(x, y);
      if (!all && shown_->cell(x, y) == c) continue;
      mvaddch(y, x, static_cast<chtype>(static_cast<unsigned char>(c.ch)) | attributes(c, colour));
    }
  shown_ = std::move(g);
  refresh();
}

void TuiSheet::pump() {
  serveRequests();
  refreshViews();
  if (screenUp_) render();
  if (stopped()) return;
  waitForInput(0, wake_, kIdleMs);
  wake_.drain();
  if (!screenUp_) return;
  for (int ch = getch(); ch != ERR && !stopped(); ch = getch()) key(ch);
  for (Dialog* d : dialogs_)
    if (stopped()) d->ended = true;
}

WindowView* TuiSheet::topView(WindowId* w, bool* isPage) {
  if (!dialogs_.empty()) {
    *w = dialogs_.back()->window;
    *isPage = false;
    return &dialogs_.back()->view;
  }
  if (active_ < 0) return nullptr;
  Page& p = pages_[static_cast<size_t>(active_)];
  *w = p.window;
  *isPage = true;
  return &p.view;
}

void TuiSheet::key(int ch) {
  layoutDirty_ = true;
  if (ch == KEY_RESIZE) return resized();
  if (file_) {
    if (ch == '\n' || ch == KEY_ENTER)
      fileAnswer_ = file_->path.empty() ? std::nullopt : std::optional<std::string>(file_->path);
    else if (ch == kEscape)
      fileAnswer_ = std::optional<std::string>();
    else if ((ch == KEY_BACKSPACE || ch == 127 || ch == 8) && !file_->path.empty())
      file_->path.pop_back();
    else if (ch >= 0x20 && ch < 0x7F)
      file_->path += static_cast<char>(ch);
    return;
  }
  if (box_) {
    const int n = static_cast<int>(boxButtons(box_->type).size());
    if (ch == '\t' || ch == KEY_RIGHT) box_->focus = (box_->focus + 1) % n;
    if (ch == KEY_BTAB || ch == KEY_LEFT) box_->focus = (box_->focus + n - 1) % n;
    if (ch == '\n' || ch == KEY_ENTER || ch == ' ')
      boxAnswer_ = boxButtons(box_->type)[static_cast<size_t>(box_->focus)].answer;
    if (ch == kEscape) boxAnswer_ = closedAnswer(box_->type);
    return;
  }
  if (menu_.open >= 0) return menuKey(ch);
  WindowId w{};
  bool isPage = false;
  WindowView* view = topView(&w, &isPage);
  if (!view) return;
  if (isPage) {
    const int page = ch >= '1' && ch <= '3' ? ch - '1' : ch >= KEY_F(1) && ch <= KEY_F(3) ? ch - KEY_F(1) : -1;
    if (page >= 0 && page < static_cast<int>(pages_.size())) return showPage(static_cast<size_t>(page));
    const bool menuBar = w == WindowId::InfoPage || w == WindowId::SkyPage;
    if ((ch == 'm' || ch == KEY_F(10)) && menuBar) {
      menu_.open = 0;
      menu_.item = 0;
      return;
    }
    if (ch == 'q') return requestQuit();
  }
  windowKey(*view, w, ch, isPage);
}

void TuiSheet::menuKey(int ch) {
  const auto menus = res::commandBarMenu();
  const int n = static_cast<int>(menus.size());
  const auto& items = menus[static_cast<size_t>(menu_.open)].items;
  const int count = static_cast<int>(items.size());
  if (ch == KEY_RIGHT || ch == '\t') menu_ = {(menu_.open + 1) % n, 0, menu_.enabled};
  else if (ch == KEY_LEFT || ch == KEY_BTAB) menu_ = {(menu_.open + n - 1) % n, 0, menu_.enabled};
  else if (ch == KEY_DOWN) menu_.item = (menu_.item + 1) % count;
  else if (ch == KEY_UP) menu_.item = (menu_.item + count - 1) % count;
  else if (ch == kEscape || ch == 'm' || ch == KEY_F(10)) menu_.open = -1;
  else if (ch == '\n' || ch == KEY_ENTER || ch == ' ') {
    const int cmd = items[static_cast<size_t>(menu_.item)].command;
    auto e = menu_.enabled.find(cmd);
    if (e != menu_.enabled.end() && !e->second) return;  // greyed
    menu_.open = -1;
    if (active_ >= 0) command(pages_[static_cast<size_t>(active_)].window, cmd, true);
  }
}

void TuiSheet::moveFocus(WindowView& view, int step) {
  const std::vector<int> order = focusOrder(view);
  if (order.empty()) {
    view.focus = 0;
    return;
  }
  auto it = std::find(order.begin(), order.end(), view.focus);
  const int n = static_cast<int>(order.size());
  const int at = it == order.end() ? (step > 0 ? -1 : 0) : static_cast<int>(it - order.begin());
  view.focus = order[static_cast<size_t>(((at + step) % n + n) % n)];
}

void TuiSheet::windowKey(WindowView& view, WindowId w, int ch, bool isPage) {
  using K = res::ControlKind;
  const std::vector<int> order = focusOrder(view);
  if (std::find(order.begin(), order.end(), view.focus) == order.end()) view.focus = order.empty() ? 0 : order.front();
  const res::ControlTemplate* c = control(view, view.focus);
  const K kind = c ? c->kind : K::Label;
  const bool list = kind == K::ListBox, dropDown = kind == K::ComboBox || kind == K::DropList;
  const bool typing = kind == K::Edit || kind == K::ComboBox;
  auto state = [&]() -> ControlState* {
    auto it = view.controls.find(view.focus);
    return it == view.controls.end() ? nullptr : &it->second;
  };
  if (ch == '\t' || ((ch == KEY_DOWN || ch == KEY_RIGHT) && !list && !dropDown)) return moveFocus(view, 1);
  if (ch == KEY_BTAB || ((ch == KEY_UP || ch == KEY_LEFT) && !list && !dropDown)) return moveFocus(view, -1);
  if ((list || dropDown) && (ch == KEY_UP || ch == KEY_DOWN || ch == KEY_PPAGE || ch == KEY_NPAGE)) {
    ControlState* s = state();
    if (!s || s->items.empty()) return;
    const int rows = list ? listRows(*c, *view.tpl, pageArea(width_, height_, false)) : 1;
    const int step = ch == KEY_UP ? -1 : ch == KEY_DOWN ? 1 : ch == KEY_PPAGE ? -rows : rows;
    const int last = static_cast<int>(s->items.size()) - 1;
    const int sel = std::clamp((s->selection < 0 ? (step > 0 ? -1 : 0) : s->selection) + step, 0, last);
    ctx_.ui.setSelection(w, view.focus, sel);
    if (dropDown) ctx_.ui.setText(w, view.focus, s->items[static_cast<size_t>(sel)]);
    if (list) {
      int& top = view.top[view.focus];
      top = std::clamp(top, sel - rows + 1, sel);
    }
    return;
  }
  if (typing && (ch == KEY_BACKSPACE || ch == 127 || ch == 8 || (ch >= 0x20 && ch < 0x7F))) {
    ControlState* s = state();
    if (!s) return;
    std::string text = fieldText(*c, *s);
    if (ch >= 0x20 && ch < 0x7F)
      text += static_cast<char>(ch);
    else if (!text.empty())
      text.pop_back();
    if (kind == K::ComboBox)
      ctx_.ui.typeText(w, view.focus, text);
    else
      ctx_.ui.setText(w, view.focus, text);
    return;
  }
  if ((ch == ' ' || ch == '\n' || ch == KEY_ENTER) && c && clickable(kind)) return press(view, w, view.focus, isPage);
  if ((ch == '\n' || ch == KEY_ENTER) && !isPage) {
    // Enter gives the default button, or 1 where there is none.
    int id = ids::kOk;
    for (const res::ControlTemplate& t : view.tpl->controls)
      if (t.kind == K::DefaultButton) id = t.id;
    auto it = view.controls.find(id);
    if (it != view.controls.end() && !it->second.enabled) return;
    return command(w, id, false);
  }
  if (ch == kEscape && !isPage) return command(w, ids::kCancel, false);
}

void TuiSheet::press(WindowView& view, WindowId w, int id, bool isPage) {
  using K = res::ControlKind;
  const res::ControlTemplate* c = control(view, id);
  if (!c || !ctx_.ui.enabled(w, id)) return;
  if (c->kind == K::CheckBox) ctx_.ui.setChecked(w, id, !ctx_.ui.checked(w, id));
  if (c->kind == K::RadioButton) {
    // An auto radio button checks itself and clears the others.
    for (const res::ControlTemplate& other : view.tpl->controls)
      if (other.kind == K::RadioButton && other.id != id) ctx_.ui.setChecked(w, other.id, false);
    ctx_.ui.setChecked(w, id, true);
  }
  command(w, id, isPage);
}

void TuiSheet::command(WindowId w, int id, bool isPage) {
  if (isPage) {
    if (procedures_.command) procedures_.command(w, id);
    return;
  }
  for (Dialog* d : dialogs_) {
    if (d->window != w) continue;
    if (d->procedures.command)
      d->procedures.command(w, id);
    else if (id == ids::kOk || id == ids::kCancel)
      endDialog(w, id);
    return;
  }
}

void TuiSheet::showPage(size_t index) {
  if (index >= pages_.size() || static_cast<int>(index) == active_) return;
  layoutDirty_ = true;
  showSheetPage(pages_, active_, index, procedures_, [this](Page& p) {
    ctx_.ui.openWindow(p.window, res::initialControls(*p.tpl));
    reload(p.view, p.window, {}, true);
  });
}

void TuiSheet::requestQuit() {
  {
    std::lock_guard l(m_);
    quit_ = true;
  }
  answered_.notify_all();
  // Commands stop at once; open dialogs end and the rows that opened them
  // go no further.
  ctx_.app.sheetClosing = 1;
  for (Dialog* d : dialogs_) d->ended = true;
}

void TuiSheet::closeSheet() {
  requestQuit();
  closeSheetPages(pages_, procedures_, ctx_.ui);
}

void TuiSheet::endSheet(int exitCode) {
  exitCode_ = exitCode;
  {
    std::lock_guard l(m_);
    sheetEnded_ = true;
  }
  answered_.notify_all();
  wake_.wake();
}

int TuiSheet::runDialog(WindowId window, DialogProcedures procedures) {
  const res::DialogTemplate* tpl = res::templateFor(window, sheet_.layout);
  if (!tpl || tpl->isPage || stopped()) return 0;
  for (Dialog* open : dialogs_)
    if (open->window == window) return 0;
  Dialog d{window, std::move(procedures), false, 0, {}};
  d.view.tpl = tpl;
  ctx_.ui.openWindow(window, res::initialControls(*tpl));
  dialogs_.push_back(&d);
  reload(d.view, window, {}, true);
  if (d.procedures.initialized) d.procedures.initialized(window);
  layoutDirty_ = true;
  while (!d.ended && !stopped()) pump();
  dialogs_.pop_back();
  ctx_.ui.closeWindow(window);
  layoutDirty_ = true;
  return d.result;
}

void TuiSheet::endDialog(WindowId window, int result) {
  for (Dialog* d : dialogs_) {
    if (d->window != window || d->ended) continue;
    d->ended = true;
    d->result = result;
  }
}

int TuiSheet::showBox(const MessageBoxRequest& r) {
  if (stopped() || !screenUp_) return closedAnswer(r.type);
  BoxView b{r.caption, r.text, r.type};
  BoxView* outer = box_;
  box_ = &b;
  boxAnswer_.reset();
  layoutDirty_ = true;
  while (!boxAnswer_ && !stopped()) pump();
  box_ = outer;
  layoutDirty_ = true;
  const int answer = boxAnswer_.value_or(closedAnswer(r.type));
  boxAnswer_.reset();
  return answer;
}

std::optional<std::string> TuiSheet::showFile(const std::string& title) {
  if (stopped() || !screenUp_) return std::nullopt;
  FileView f{title, {}};
  file_ = &f;
  fileAnswer_.reset();
  layoutDirty_ = true;
  while (!fileAnswer_ && !stopped()) pump();
  file_ = nullptr;
  layoutDirty_ = true;
  std::optional<std::string> path = fileAnswer_.value_or(std::nullopt);
  fileAnswer_.reset();
  return path;
}

void TuiSheet::serveRequests() {
  if (box_ || file_) return;
  Request* r = nullptr;
  {
    std::lock_guard l(m_);
    if (requests_.empty()) return;
    r = requests_.front();
    requests_.pop_front();
  }
  int answer = 0;
  std::optional<std::string> path;
  if (r->file)
    path = showFile(r->title);
  else
    answer = showBox(r->box);
  {
    std::lock_guard l(m_);
    r->done = true;
    r->answer = answer;
    r->path = std::move(path);
  }
  answered_.notify_all();
}

int TuiSheet::messageBox(const MessageBoxRequest& request) {
  if (std::this_thread::get_id() == uiThread_) return showBox(request);
  // A worker's box: shown by the UI thread, the worker waits for the answer.
  Request r;
  r.box = request;
  std::unique_lock l(m_);
  if (stopped()) return closedAnswer(request.type);
  requests_.push_back(&r);
  wake_.wake();
  answered_.wait(l, [&] { return r.done || stopped(); });
  std::erase(requests_, &r);
  return r.done ? r.answer : closedAnswer(request.type);
}

std::optional<std::string> TuiSheet::openFile(const std::string& title, const std::string&) {
  if (std::this_thread::get_id() == uiThread_) return showFile(title);
  Request r;
  r.file = true;
  r.title = title;
  std::unique_lock l(m_);
  if (stopped()) return std::nullopt;
  requests_.push_back(&r);
  wake_.wake();
  answered_.wait(l, [&] { return r.done || stopped(); });
  std::erase(requests_, &r);
  return r.done ? r.path : std::nullopt;
}

int TuiSheet::run() {
  uiThread_ = std::this_thread::get_id();
  if (!isTerminal(0) || !isTerminal(1)) {
    std::fprintf(stderr, "ferrolan: --tui needs a terminal on standard input and output\n");
    return 2;
  }
  // The settings as they were, for a crash or a quit signal to put back.
  guardTerminal(0);
  SCREEN* screen = newterm(nullptr, stdout, stdin);
  if (!screen) {
    releaseTerminal();
    std::fprintf(stderr, "ferrolan: --tui needs a terminal (TERM names none that is known)\n");
    return 2;
  }
  setTerminalLeaveSequence(capability("sgr0") + capability("cnorm") + capability("rmcup"));
  screenUp_ = true;
  cbreak();  // Ctrl-C stays a signal: it takes the program's own way out
  noecho();
  keypad(stdscr, TRUE);
  nodelay(stdscr, TRUE);
  set_escdelay(25);
  curs_set(0);
  if (has_colors()) {
    start_color();
    use_default_colors();
    init_pair(kPairUsed, COLOR_GREEN, -1);
    init_pair(kPairNotUsed, COLOR_BLUE, -1);
    init_pair(kPairRing, COLOR_RED, -1);
    init_pair(kPairLabel, COLOR_YELLOW, -1);
  }
  if (procedures_.started) procedures_.started(*this);
  if (!pages_.empty()) showPage(0);
  while (!stopped()) pump();
  closeSheet();
  ctx_.ui.removeListener(listener_);
  listener_ = 0;
  ctx_.ui.setHost(nullptr);
  screenUp_ = false;
  endwin();
  delscreen(screen);
  releaseTerminal();
  return exitCode_;
}

int runTuiSheet(Context& ctx, const SheetDescription& sheet, PageProcedures& procedures) {
  TuiSheet t(ctx, sheet, procedures);
  return t.run();
}

}  // namespace ferrolan::tui
