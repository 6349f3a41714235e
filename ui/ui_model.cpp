#include "ui/ui_model.h"

#include <algorithm>
#include <type_traits>

namespace ferrolan {

void UiModel::setHost(UiHost* host) {
  std::unique_lock l(m_);
  host_ = host;
  hostIdle_.wait(l, [this] { return hostUsers_ == 0; });
}

int UiModel::addListener(Listener fn) {
  std::lock_guard l(listenersMutex_);
  const int id = nextListener_++;
  listeners_.emplace_back(id, std::move(fn));
  return id;
}

UiModel::Subscription UiModel::addListenerWithItems(WindowId w, int control, Listener fn) {
  // Under the listeners' lock no change is being told; the seq says which
  // applied changes the snapshot already holds.
  std::lock_guard l(listenersMutex_);
  Subscription s;
  {
    std::lock_guard m(m_);
    s.seq = changes_;
    auto it = windows_.find(w);
    if (it != windows_.end()) {
      auto c = it->second.controls.find(control);
      if (c != it->second.controls.end()) s.items.assign(c->second.items.begin(), c->second.items.end());
    }
  }
  s.id = nextListener_++;
  listeners_.emplace_back(s.id, std::move(fn));
  return s;
}

void UiModel::removeListener(int id) {
  std::lock_guard l(listenersMutex_);
  std::erase_if(listeners_, [id](const auto& p) { return p.first == id; });
}

uint64_t UiModel::lastChange() const {
  std::lock_guard l(m_);
  return changes_;
}

void UiModel::notify(const UiChange& change) {
  // Listeners are called outside the model's lock, so they may read it.
  std::lock_guard l(listenersMutex_);
  for (auto& [_, fn] : listeners_) fn(change);
}

void UiModel::openWindow(WindowId w, const std::vector<std::pair<int, ControlState>>& controls) {
  uint64_t seq;
  {
    std::lock_guard l(m_);
    seq = ++changes_;
    Window& win = windows_[w];
    win.controls.clear();
    win.menu.clear();
    for (const auto& [id, state] : controls) win.controls[id] = state;
  }
  notify({w, 0, UiChangeKind::WindowOpened, {}, 0, seq});
}

void UiModel::closeWindow(WindowId w) {
  bool was;
  uint64_t seq = 0;
  {
    std::lock_guard l(m_);
    was = windows_.erase(w) != 0;
    if (was) seq = ++changes_;
  }
  if (was) notify({w, 0, UiChangeKind::WindowClosed, {}, 0, seq});
}

bool UiModel::isOpen(WindowId w) const {
  std::lock_guard l(m_);
  return windows_.count(w) != 0;
}

bool UiModel::hasControl(WindowId w, int control) const {
  std::lock_guard l(m_);
  auto it = windows_.find(w);
  return it != windows_.end() && it->second.controls.count(control) != 0;
}

std::optional<ControlState> UiModel::control(WindowId w, int control) const {
  std::lock_guard l(m_);
  auto it = windows_.find(w);
  if (it == windows_.end()) return std::nullopt;
  auto c = it->second.controls.find(control);
  if (c == it->second.controls.end()) return std::nullopt;
  return c->second;
}

template <typename Edit>
bool UiModel::edit(WindowId w, int control, UiChangeKind kind, std::string_view text, int value, Edit&& fn) {
  uint64_t seq;
  std::string changeText;
  {
    std::lock_guard l(m_);
    auto it = windows_.find(w);
    if (it == windows_.end()) return false;
    // An edit may name the change's text itself (a selection, its entry).
    if constexpr (std::is_invocable_v<Edit, ControlState&, std::string&>) {
      if (!fn(it->second.controls[control], changeText)) return true;
    } else {
      if (!fn(it->second.controls[control])) return true;
      changeText.assign(text);
    }
    seq = ++changes_;
  }
  notify({w, control, kind, std::move(changeText), value, seq});
  return true;
}

template <typename Read, typename T>
T UiModel::read(WindowId w, int control, T fallback, Read&& fn) const {
  std::lock_guard l(m_);
  auto it = windows_.find(w);
  if (it == windows_.end()) return fallback;
  auto c = it->second.controls.find(control);
  if (c == it->second.controls.end()) return fallback;
  return fn(c->second);
}

void UiModel::setText(WindowId w, int control, std::string_view text) {
  // The same text again is no change: a status set per logged sentence
  // would otherwise be shown anew each time.
  edit(w, control, UiChangeKind::Text, text, 0, [&](ControlState& c) {
    if (c.text == text) return false;
    c.text.assign(text);
    return true;
  });
}

std::string UiModel::text(WindowId w, int control) const {
  return read(w, control, std::string(), [](const ControlState& c) { return c.text; });
}

void UiModel::setEnabled(WindowId w, int control, bool on) {
  edit(w, control, UiChangeKind::Enabled, {}, on, [&](ControlState& c) {
    c.enabled = on;
    return true;
  });
}

bool UiModel::enabled(WindowId w, int control) const {
  return read(w, control, false, [](const ControlState& c) { return c.enabled; });
}

void UiModel::setVisible(WindowId w, int control, bool on) {
  edit(w, control, UiChangeKind::Visible, {}, on, [&](ControlState& c) {
    c.visible = on;
    return true;
  });
}

bool UiModel::visible(WindowId w, int control) const {
  return read(w, control, false, [](const ControlState& c) { return c.visible; });
}

void UiModel::setChecked(WindowId w, int control, bool on) {
  edit(w, control, UiChangeKind::Checked, {}, on, [&](ControlState& c) {
    c.checked = on;
    return true;
  });
}

bool UiModel::checked(WindowId w, int control) const {
  return read(w, control, false, [](const ControlState& c) { return c.checked; });
}

void UiModel::setProgress(WindowId w, int control, int position) {
  edit(w, control, UiChangeKind::Progress, {}, position, [&](ControlState& c) {
    c.progress = position;
    return true;
  });
}

int UiModel::progress(WindowId w, int control) const {
  return read(w, control, 0, [](const ControlState& c) { return c.progress; });
}

void UiModel::setHorizontalExtent(WindowId w, int control, int extent) {
  edit(w, control, UiChangeKind::Extent, {}, extent, [&](ControlState& c) {
    c.horizontalExtent = extent;
    return true;
  });
}

bool UiModel::listAppend(WindowId w, int control, std::string_view line) {
  return edit(w, control, UiChangeKind::ListAppend, line, 0, [&](ControlState& c) {
    // A list box holds a bounded number of lines; the oldest make room.
    if (c.items.size() >= kMaxListItems) c.items.pop_front();
    c.items.emplace_back(line);
    return true;
  });
}

bool UiModel::listInsertTop(WindowId w, int control, std::string_view line) {
  return edit(w, control, UiChangeKind::ListInsertTop, line, 0, [&](ControlState& c) {
    if (c.items.size() >= kMaxListItems) c.items.pop_back();
    c.items.emplace_front(line);
    return true;
  });
}

bool UiModel::listReset(WindowId w, int control) {
  return edit(w, control, UiChangeKind::ListReset, {}, 0, [&](ControlState& c) {
    c.items.clear();
    c.selection = -1;
    return true;
  });
}

void UiModel::setItems(WindowId w, int control, std::vector<std::string> items) {
  edit(w, control, UiChangeKind::ListItems, {}, 0, [&](ControlState& c) {
    c.items.assign(std::make_move_iterator(items.begin()), std::make_move_iterator(items.end()));
    if (c.selection >= static_cast<int>(c.items.size())) c.selection = -1;
    return true;
  });
}

std::vector<std::string> UiModel::items(WindowId w, int control) const {
  return read(w, control, std::vector<std::string>(),
              [](const ControlState& c) { return std::vector<std::string>(c.items.begin(), c.items.end()); });
}

void UiModel::setSelection(WindowId w, int control, int index) {
  edit(w, control, UiChangeKind::Selection, {}, index, [&](ControlState& c, std::string& entry) {
    c.selection = (index >= 0 && index < static_cast<int>(c.items.size())) ? index : -1;
    // A drop-down's edit text follows its selection, as the platform's does;
    // logic that reads the box's text after selecting sees the entry.
    if (c.selection >= 0) c.text = entry = c.items[static_cast<size_t>(c.selection)];
    return true;
  });
}

void UiModel::typeText(WindowId w, int control, std::string_view text) {
  setSelection(w, control, -1);
  setText(w, control, text);
}

int UiModel::selection(WindowId w, int control) const {
  return read(w, control, -1, [](const ControlState& c) { return c.selection; });
}

void UiModel::setSurface(WindowId w, int control, std::vector<DrawOp> ops) {
  edit(w, control, UiChangeKind::Surface, {}, 0, [&](ControlState& c) {
    c.surface = std::move(ops);
    return true;
  });
}

std::vector<DrawOp> UiModel::surface(WindowId w, int control) const {
  return read(w, control, std::vector<DrawOp>(), [](const ControlState& c) { return c.surface; });
}

namespace {

// The pixels an op may touch, as a normalised rectangle.
struct Bounds {
  int left, top, right, bottom;
};

Bounds boundsOf(const DrawOp& op) {
  Bounds b{std::min(op.x1, op.x2), std::min(op.y1, op.y2), std::max(op.x1, op.x2), std::max(op.y1, op.y2)};
  // A line's pen reaches past its end points.
  if (op.kind == DrawOp::Kind::Line) {
    const int reach = std::max(1, op.penWidth);
    b = {b.left - reach, b.top - reach, b.right + reach, b.bottom + reach};
  }
  return b;
}

bool hides(const DrawOp& fill, const DrawOp& earlier) {
  if (fill.kind != DrawOp::Kind::FillRect) return false;
  const Bounds f = boundsOf(fill), e = boundsOf(earlier);
  return f.left <= e.left && f.top <= e.top && f.right >= e.right && f.bottom >= e.bottom;
}

}  // namespace

void UiModel::drawOnSurface(WindowId w, int control, const std::vector<DrawOp>& ops) {
  edit(w, control, UiChangeKind::Surface, {}, 0, [&](ControlState& c) {
    for (const DrawOp& op : ops) {
      std::erase_if(c.surface, [&](const DrawOp& e) { return hides(op, e); });
      c.surface.push_back(op);
    }
    if (c.surface.size() > kMaxSurfaceOps)
      c.surface.erase(c.surface.begin(), c.surface.end() - static_cast<std::ptrdiff_t>(kMaxSurfaceOps));
    return true;
  });
}

ClientSize UiModel::clientSize(WindowId w, int control) const {
  return read(w, control, ClientSize{}, [](const ControlState& c) { return ClientSize{c.clientWidth, c.clientHeight}; });
}

void UiModel::setMenuEnabled(WindowId w, int command, bool on) {
  uint64_t seq;
  {
    std::lock_guard l(m_);
    auto it = windows_.find(w);
    if (it == windows_.end()) return;
    it->second.menu[command] = on;
    seq = ++changes_;
  }
  notify({w, command, UiChangeKind::Menu, {}, on, seq});
}

bool UiModel::menuEnabled(WindowId w, int command) const {
  std::lock_guard l(m_);
  auto it = windows_.find(w);
  if (it == windows_.end()) return false;
  auto m = it->second.menu.find(command);
  return m == it->second.menu.end() ? true : m->second;  // items start enabled
}

void UiModel::repaint(WindowId w) {
  uint64_t seq;
  {
    std::lock_guard l(m_);
    if (windows_.count(w) == 0) return;
    seq = ++changes_;
  }
  notify({w, 0, UiChangeKind::Repaint, {}, 0, seq});
}

template <typename Call, typename T>
T UiModel::withHost(T fallback, Call&& call) {
  UiHost* host;
  {
    std::lock_guard l(m_);
    host = host_;
    if (!host) return fallback;
    ++hostUsers_;
  }
  T answer = call(*host);
  {
    std::lock_guard l(m_);
    --hostUsers_;
  }
  hostIdle_.notify_all();
  return answer;
}

int UiModel::messageBox(std::optional<WindowId> owner, std::string_view text, std::string_view caption,
                        unsigned type) {
  // No one to ask: as if acknowledged.
  return withHost(kIdOk, [&](UiHost& h) { return h.messageBox({owner, std::string(text), std::string(caption), type}); });
}

std::optional<std::string> UiModel::openFile(const std::string& title, const std::string& filter) {
  return withHost(std::optional<std::string>(), [&](UiHost& h) { return h.openFile(title, filter); });
}

void TextLog::keep(bool top, std::string_view line) {
  std::lock_guard l(m_);
  if (early_.size() >= UiModel::kMaxListItems) early_.erase(early_.begin());
  early_.emplace_back(top, std::string(line));
}

void TextLog::reset() {
  if (ui_.listReset(WindowId::TextPage, ids::kTextLog)) return;
  std::lock_guard l(m_);
  early_.clear();
}

void TextLog::replayEarlyLines() {
  std::vector<std::pair<bool, std::string>> lines;
  {
    std::lock_guard l(m_);
    lines.swap(early_);
  }
  for (const auto& [top, line] : lines) top ? insertTop(line) : append(line);
}

}  // namespace ferrolan
