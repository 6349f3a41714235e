#include "shell/tui/tui_sheet.h"

// The wide-character calls, for the shades in a UTF-8 locale.
#define NCURSES_WIDECHAR 1
#include <curses.h>

#include <algorithm>
#include <clocale>
#include <cstdio>
#include <cstdlib>

#include "app/context.h"
#include "shell/script_console.h"

namespace ferrolan::tui {

namespace {

// The wait between looks at the terminal when nothing wakes the loop: a
// resize may be told to another thread's signal handler.
constexpr int kIdleMs = 200;
constexpr int kEscape = 27;
constexpr int kPairUsed = 1, kPairNotUsed = 2, kPairRing = 3, kPairLabel = 4;

// The environment's character set while it lives, and only that: in a
// UTF-8 locale curses sends the line pieces as UTF-8, while numbers keep
// their C formatting in the rest of the program.
class CharacterSetFromEnvironment {
 public:
  CharacterSetFromEnvironment() {
    const char* ctype = std::setlocale(LC_CTYPE, nullptr);
    before_ = ctype ? ctype : "C";
    std::setlocale(LC_CTYPE, "");
  }
  ~CharacterSetFromEnvironment() { std::setlocale(LC_CTYPE, before_.c_str()); }
  CharacterSetFromEnvironment(const CharacterSetFromEnvironment&) = delete;
  CharacterSetFromEnvironment& operator=(const CharacterSetFromEnvironment&) = delete;

 private:
  std::string before_;
};

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

// Puts a cell on the terminal: its piece where the terminal draws them
// (curses sends the terminal's own or, in a UTF-8 locale, the Unicode box
// piece), else its plain character.
void putCell(int y, int x, const Cell& c, bool lineDrawing, bool utf8, chtype attrs) {
  const GlyphRow& row = glyphRow(c.glyph);
  if (lineDrawing && utf8 && row.wide) {
    const wchar_t text[2] = {row.wide, 0};
    cchar_t cell;
    setcchar(&cell, text, attrs & A_ATTRIBUTES & ~A_COLOR, static_cast<short>(PAIR_NUMBER(attrs)), nullptr);
    mvadd_wch(y, x, &cell);
    return;
  }
  if (lineDrawing && row.acs) {
    mvaddch(y, x, NCURSES_ACS(row.acs) | attrs);
    return;
  }
  mvaddch(y, x, static_cast<chtype>(static_cast<unsigned char>(c.ch)) | attrs);
}

}  // namespace

TuiSheet::TuiSheet(Context& ctx, const SheetDescription& sheet, PageProcedures& procedures)
    : ctx_(ctx), session_(ctx, sheet, procedures, *this) {
  listener_ = ctx_.ui.addListener([this](const UiChange& c) { onChange(c); });
}

TuiSheet::~TuiSheet() {
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
    auto view = views_.find(w);
    if (view == views_.end()) continue;
    reload(view->second, w, change.second, change.first);
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
  s.caption = session_.sheet().caption;
  for (const SheetPage& p : session_.pages())
    s.tabs.push_back(p.tpl->caption.empty() ? scriptWindowName(p.window) : std::string(p.tpl->caption));
  s.activeTab = session_.activeIndex();
  if (const SheetPage* active = session_.activePage()) {
    const SheetPage& p = *active;
    s.page = &views_[p.window];
    s.menuBar = p.window == WindowId::InfoPage || p.window == WindowId::SkyPage;
    if (s.menuBar) {
      for (const res::Menu& m : res::commandBarMenu())
        for (const res::MenuItem& i : m.items) menu_.enabled[i.command] = ctx_.ui.menuEnabled(p.window, i.command);
    }
  }
  s.menu = menu_;
  for (const SheetDialog* d : session_.dialogs()) s.dialogs.push_back(&views_[d->window]);
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
      putCell(y, x, c, lineDrawing_, utf8_, attributes(c, colour));
    }
  shown_ = std::move(g);
  refresh();
}

void TuiSheet::pump() {
  // A box or file prompt shown now gets the next one once it is answered.
  if (!box_ && !file_) session_.serveRequests();
  refreshViews();
  if (screenUp_) render();
  if (session_.stopped()) return;
  waitForInput(0, wake_, kIdleMs);
  wake_.drain();
  if (!screenUp_) return;
  // A paste comes as one burst: each key starts from what the one before
  // it wrote to the model, not from the view as the last pump left it.
  for (int ch = getch(); ch != ERR && !session_.stopped(); ch = getch()) {
    refreshViews();
    key(ch);
  }
}

WindowView* TuiSheet::topView(WindowId* w, bool* isPage) {
  const auto& dialogs = session_.dialogs();
  const SheetPage* page = session_.activePage();
  if (dialogs.empty() && !page) return nullptr;
  *w = dialogs.empty() ? page->window : dialogs.back()->window;
  *isPage = dialogs.empty();
  return &views_[*w];
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
    if (ch == kEscape) boxAnswer_ = closedBoxAnswer(box_->type);
    return;
  }
  if (menu_.open >= 0) return menuKey(ch);
  WindowId w{};
  bool isPage = false;
  WindowView* view = topView(&w, &isPage);
  if (!view) return;
  if (isPage) {
    const int page = ch >= '1' && ch <= '3' ? ch - '1' : ch >= KEY_F(1) && ch <= KEY_F(3) ? ch - KEY_F(1) : -1;
    if (page >= 0 && page < static_cast<int>(session_.pages().size())) return showPage(static_cast<size_t>(page));
    const bool menuBar = w == WindowId::InfoPage || w == WindowId::SkyPage;
    if ((ch == 'm' || ch == KEY_F(10)) && menuBar) {
      menu_.open = 0;
      menu_.item = 0;
      return;
    }
    if (ch == 'q') return session_.requestQuit();
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
    if (const SheetPage* page = session_.activePage()) session_.command(page->window, cmd);
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
  if ((ch == ' ' || ch == '\n' || ch == KEY_ENTER) && c && clickable(kind)) return session_.press(w, view.focus);
  if ((ch == '\n' || ch == KEY_ENTER) && !isPage) {
    if (auto id = session_.enterCommand(w)) session_.command(w, *id);
    return;
  }
  if (ch == kEscape && !isPage) return session_.command(w, ids::kCancel);
}

void TuiSheet::showPage(size_t index) {
  layoutDirty_ = true;
  session_.showPage(index);
}

void TuiSheet::pageOpened(const SheetPage& page) {
  WindowView& view = views_[page.window];
  view.tpl = page.tpl;
  reload(view, page.window, {}, true);
}

void TuiSheet::dialogOpened(SheetDialog& dialog) {
  WindowView& view = views_[dialog.window];
  view = WindowView{};
  view.tpl = dialog.tpl;
  reload(view, dialog.window, {}, true);
  layoutDirty_ = true;
}

void TuiSheet::runDialog(SheetDialog& dialog) {
  while (!dialog.ended && !session_.stopped()) pump();
}

void TuiSheet::dialogClosed(SheetDialog& dialog) {
  views_.erase(dialog.window);
  layoutDirty_ = true;
}

int TuiSheet::showBox(const MessageBoxRequest& r) {
  if (session_.stopped() || !screenUp_) return closedBoxAnswer(r.type);
  BoxView b{r.caption, r.text, r.type};
  BoxView* outer = box_;
  box_ = &b;
  boxAnswer_.reset();
  layoutDirty_ = true;
  while (!boxAnswer_ && !session_.stopped()) pump();
  box_ = outer;
  layoutDirty_ = true;
  const int answer = boxAnswer_.value_or(closedBoxAnswer(r.type));
  boxAnswer_.reset();
  return answer;
}

std::optional<std::string> TuiSheet::showFile(const std::string& title, const std::string&) {
  if (session_.stopped() || !screenUp_) return std::nullopt;
  FileView f{title, {}};
  file_ = &f;
  fileAnswer_.reset();
  layoutDirty_ = true;
  while (!fileAnswer_ && !session_.stopped()) pump();
  file_ = nullptr;
  layoutDirty_ = true;
  std::optional<std::string> path = fileAnswer_.value_or(std::nullopt);
  fileAnswer_.reset();
  return path;
}

int TuiSheet::run() {
  if (!isTerminal(0) || !isTerminal(1)) {
    std::fprintf(stderr, "ferrolan: --tui needs a terminal on standard input and output\n");
    return 2;
  }
  // The settings as they were, for a crash or a quit signal to put back.
  guardTerminal(0);
  const CharacterSetFromEnvironment characterSet;
  SCREEN* screen = newterm(nullptr, stdout, stdin);
  if (!screen) {
    releaseTerminal();
    std::fprintf(stderr, "ferrolan: --tui needs a terminal (TERM names none that is known)\n");
    return 2;
  }
  setTerminalLeaveSequence(capability("sgr0") + capability("cnorm") + capability("rmcup"));
  screenUp_ = true;
  utf8_ = MB_CUR_MAX > 1;
  lineDrawing_ = utf8_ || !capability("acsc").empty();
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
  session_.start();
  layoutDirty_ = true;
  while (!session_.stopped()) pump();
  session_.closeSheet();
  ctx_.ui.removeListener(listener_);
  listener_ = 0;
  screenUp_ = false;
  endwin();
  delscreen(screen);
  releaseTerminal();
  return session_.exitCode();
}

int runTuiSheet(Context& ctx, const SheetDescription& sheet, PageProcedures& procedures) {
  TuiSheet t(ctx, sheet, procedures);
  return t.run();
}

}  // namespace ferrolan::tui
