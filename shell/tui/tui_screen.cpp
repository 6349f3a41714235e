#include "shell/tui/tui_screen.h"

#include <algorithm>
#include <climits>
#include <cmath>

#include "datapath/satellite_display.h"

namespace ferrolan::tui {

using res::ControlKind;

namespace {

constexpr Color kRed{255, 0, 0}, kWhite{255, 255, 255};
// A box's text keeps this much room beside it.
constexpr int kBoxMargin = 2;

// A fill's mark and ink by its colour: the bars' used and not-used
// colours tell apart without colour too.
struct FillMark {
  char ch;
  Ink ink;
  Glyph glyph;
};
FillMark fillMark(const Color& c) {
  if (c == kBarUsed) return {'#', Ink::Used, Glyph::DenseShade};
  if (c == kBarNotUsed) return {':', Ink::NotUsed, Glyph::LightShade};
  if (c == kBarBlank || c == kWhite) return {' ', Ink::Normal, Glyph::None};
  return {'#', Ink::Normal, Glyph::None};
}

Ink penInk(const Color& c) { return c == kRed ? Ink::Ring : c == kBarNotUsed ? Ink::NotUsed : Ink::Normal; }

int scaled(int v, int cells, int nominal) {
  return nominal > 0 ? static_cast<int>(std::floor(static_cast<double>(v) * cells / nominal)) : 0;
}

std::vector<std::string_view> lines(std::string_view text) {
  std::vector<std::string_view> out;
  size_t start = 0;
  for (;;) {
    const size_t end = text.find('\n', start);
    std::string_view l = text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
    if (!l.empty() && l.back() == '\r') l.remove_suffix(1);
    out.push_back(l);
    if (end == std::string_view::npos) return out;
    start = end + 1;
  }
}

}  // namespace

Grid::Grid(int width, int height)
    : width_(std::max(width, 0)), height_(std::max(height, 0)), cells_(static_cast<size_t>(width_ * height_)) {}

void Grid::set(int x, int y, char ch, Ink ink, const Rect& clip, Glyph glyph) {
  if (!clip.contains(x, y) || x < 0 || y < 0 || x >= width_ || y >= height_) return;
  Cell& c = cells_[static_cast<size_t>(y * width_ + x)];
  c.ch = static_cast<unsigned char>(ch) < 0x20 || static_cast<unsigned char>(ch) > 0x7E ? '?' : ch;
  c.glyph = glyph;
  c.ink = ink;
  c.reverse = false;
}

void Grid::join(int x, int y, char ch, Glyph piece, Ink ink, const Rect& clip) {
  if (!clip.contains(x, y) || x < 0 || y < 0 || x >= width_ || y >= height_) return;
  set(x, y, ch, ink, clip, joined(cell(x, y).glyph, piece));
}

void Grid::put(int x, int y, std::string_view text, Ink ink, bool reverse, const Rect& clip) {
  // A line ends at its CR or LF (the log's sentences keep theirs).
  text = text.substr(0, text.find_first_of("\r\n"));
  for (size_t i = 0; i < text.size(); ++i) {
    const int cx = x + static_cast<int>(i);
    if (!clip.contains(cx, y) || cx < 0 || y < 0 || cx >= width_ || y >= height_) continue;
    set(cx, y, text[i], ink, clip);
    cells_[static_cast<size_t>(y * width_ + cx)].reverse = reverse;
  }
}

void Grid::put(int x, int y, std::string_view text, Ink ink, bool reverse) {
  put(x, y, text, ink, reverse, Rect{0, 0, width_, height_});
}

void Grid::fill(const Rect& r, char ch) {
  for (int y = r.y; y < r.y + r.h; ++y)
    for (int x = r.x; x < r.x + r.w; ++x) set(x, y, ch, Ink::Normal, r);
}

void Grid::frame(const Rect& r, std::string_view title) {
  if (r.w < 2 || r.h < 2) return;
  const Rect all{0, 0, width_, height_};
  // A frame covers what lies under it: its pieces join only each other.
  auto piece = [&](int x, int y, Glyph g) { set(x, y, glyphRow(g).ascii, Ink::Normal, all, g); };
  for (int x = r.x; x < r.x + r.w; ++x) {
    piece(x, r.y, Glyph::Horizontal);
    piece(x, r.y + r.h - 1, Glyph::Horizontal);
  }
  for (int y = r.y; y < r.y + r.h; ++y) {
    piece(r.x, y, Glyph::Vertical);
    piece(r.x + r.w - 1, y, Glyph::Vertical);
  }
  piece(r.x, r.y, Glyph::UpperLeft);
  piece(r.x + r.w - 1, r.y, Glyph::UpperRight);
  piece(r.x, r.y + r.h - 1, Glyph::LowerLeft);
  piece(r.x + r.w - 1, r.y + r.h - 1, Glyph::LowerRight);
  if (!title.empty()) put(r.x + 2, r.y, title, Ink::Label, false, Rect{r.x + 1, r.y, r.w - 2, 1});
}

std::string Grid::line(int y) const {
  std::string out;
  if (y < 0 || y >= height_) return out;
  for (int x = 0; x < width_; ++x) out += cell(x, y).ch;
  return out;
}

Rect cellRect(const res::ControlTemplate& c, const res::DialogTemplate& t, const Rect& area) {
  const int x0 = area.x + scaled(c.x, area.w, t.width), x1 = area.x + scaled(c.x + c.w, area.w, t.width);
  const int y0 = area.y + scaled(c.y, area.h, t.height), y1 = area.y + scaled(c.y + c.h, area.h, t.height);
  int h = std::max(1, y1 - y0);
  // A drop-down's template height includes its open list.
  if (c.kind == ControlKind::ComboBox || c.kind == ControlKind::DropList) h = 1;
  return {x0, y0, std::max(1, x1 - x0), h};
}

bool takesFocus(ControlKind k) {
  switch (k) {
    case ControlKind::Button:
    case ControlKind::DefaultButton:
    case ControlKind::CheckBox:
    case ControlKind::RadioButton:
    case ControlKind::ComboBox:
    case ControlKind::DropList:
    case ControlKind::ListBox:
    case ControlKind::Edit: return true;
    default: return false;
  }
}

std::vector<int> focusOrder(const WindowView& v) {
  std::vector<int> out;
  if (!v.tpl) return out;
  for (const res::ControlTemplate& c : v.tpl->controls) {
    if (c.id == ids::kStatic || !takesFocus(c.kind)) continue;
    auto it = v.controls.find(c.id);
    if (it == v.controls.end() || !it->second.enabled || !it->second.visible) continue;
    out.push_back(c.id);
  }
  return out;
}

namespace {

// A cell index for a coordinate in cells, kept where an int holds it.
int cellAt(double v) { return static_cast<int>(std::floor(std::clamp(v, -1e6, 1e6))); }

unsigned armTowards(int dx, int dy) {
  return dx > 0 ? kArmRight : dx < 0 ? kArmLeft : dy > 0 ? kArmDown : dy < 0 ? kArmUp : 0;
}

// The places a label tries, nearest first: a row up or down before a
// column aside, up before down, left before right.
constexpr int kLabelReach = 4;  // rows and columns moved, together
const std::vector<std::pair<int, int>>& labelOffsets() {
  static const std::vector<std::pair<int, int>> offsets = [] {
    std::vector<std::pair<int, int>> out;
    for (int d = 0; d <= kLabelReach; ++d)
      for (int across = 0; across <= d; ++across) {
        const int down = d - across;
        for (int dy : {-down, down}) {
          for (int dx : {-across, across}) {
            out.emplace_back(dx, dy);
            if (across == 0) break;
          }
          if (down == 0) break;
        }
      }
    return out;
  }();
  return offsets;
}

// How many cells of a label at (x, y), widened by `gap` on each side, the
// labels placed cover.
int overlap(const std::vector<Rect>& placed, int x, int y, int w, int gap) {
  int n = 0;
  for (const Rect& p : placed)
    if (p.y == y) n += std::max(0, std::min(x + w + gap, p.x + p.w) - std::max(x - gap, p.x));
  return n;
}

// Where a label meant for (x, y) goes: the nearest place inside `r` with a
// blank between it and every label placed, else the nearest touching none,
// else the one it overlaps least. Two labels side by side read as one
// number ("0220").
std::pair<int, int> placeLabel(const Rect& r, const std::vector<Rect>& placed, int x, int y, int w) {
  auto fits = [&](int dx, int dy) {
    // Where it was meant to go is its place even when clipped.
    if (dx == 0 && dy == 0) return true;
    return x + dx >= r.x && x + dx + w <= r.x + r.w && y + dy >= r.y && y + dy < r.y + r.h;
  };
  // Ranked: clear with a blank 0, touching 1, else 2 plus the cells it
  // covers; the nearest of the best rank wins (the first place tried is
  // where it was meant to go).
  std::pair<int, int> best{x, y};
  int bestRank = INT_MAX;
  for (auto [dx, dy] : labelOffsets()) {
    if (!fits(dx, dy)) continue;
    const int covered = overlap(placed, x + dx, y + dy, w, 0);
    const int rank = overlap(placed, x + dx, y + dy, w, 1) == 0 ? 0 : covered == 0 ? 1 : 2 + covered;
    if (rank < bestRank) {
      bestRank = rank;
      best = {x + dx, y + dy};
    }
  }
  return best;
}

}  // namespace

void drawDisplayList(Grid& g, const Rect& r, int nw, int nh, const std::vector<DrawOp>& ops) {
  if (nw <= 0 || nh <= 0 || r.w <= 0 || r.h <= 0) return;
  const double sx = static_cast<double>(r.w) / nw, sy = static_cast<double>(r.h) / nh;
  auto col = [&](double px) { return r.x + cellAt(px * sx); };
  auto row = [&](double py) { return r.y + cellAt(py * sy); };
  // The labels drawn so far: the next keeps clear of them, and the shapes
  // drawn after them leave them whole.
  std::vector<Rect> labels;
  auto open = [&](int x, int y) {
    return std::none_of(labels.begin(), labels.end(), [&](const Rect& l) { return l.contains(x, y); });
  };
  auto set = [&](int x, int y, char ch, Ink ink, Glyph glyph = Glyph::None) {
    if (open(x, y)) g.set(x, y, ch, ink, r, glyph);
  };
  auto join = [&](int x, int y, char ch, unsigned reach, Ink ink) {
    if (open(x, y)) g.join(x, y, ch, static_cast<Glyph>(reach), ink, r);
  };
  for (const DrawOp& op : ops) {
    const int left = std::min(op.x1, op.x2), right = std::max(op.x1, op.x2);
    const int top = std::min(op.y1, op.y2), bottom = std::max(op.y1, op.y2);
    switch (op.kind) {
      case DrawOp::Kind::FillRect: {
        // A cell shows the fill that covers its centre.
        const FillMark mark = fillMark(op.brush);
        for (int y = std::max(r.y, row(top)); y < r.y + r.h && y <= row(bottom); ++y)
          for (int x = std::max(r.x, col(left)); x < r.x + r.w && x <= col(right); ++x) {
            const double cx = (x - r.x + 0.5) / sx, cy = (y - r.y + 0.5) / sy;
            if (cx >= left && cx < right && cy >= top && cy < bottom) set(x, y, mark.ch, mark.ink, mark.glyph);
          }
        break;
      }
      case DrawOp::Kind::Ellipse: {
        // An outline in the background's colour draws nothing to see.
        if (op.nullPen || op.pen == kWhite) break;
        const double cx = (left + right) / 2.0 * sx, cy = (top + bottom) / 2.0 * sy;
        const double rx = (right - left) / 2.0 * sx, ry = (bottom - top) / 2.0 * sy;
        // Too small for an outline in cells: a dot at its centre.
        if (rx < 1.0 || ry < 1.5) {
          set(r.x + cellAt(cx), r.y + cellAt(cy), 'o', penInk(op.brush));
          break;
        }
        // The outline walked cell by cell, each beside the one before, so
        // its pieces join into corners where it steps between rows.
        const Ink ink = penInk(op.pen);
        const int steps = std::clamp(static_cast<int>(8 * (rx + ry)), 16, 4096);
        auto sample = [&](int i) {
          const double a = 2 * M_PI * i / steps;
          return std::pair{cellAt(cx + rx * std::cos(a)), cellAt(cy + ry * std::sin(a))};
        };
        auto off = [&](int x, int y) {
          const double u = (x + 0.5 - cx) / rx, v = (y + 0.5 - cy) / ry;
          return std::abs(u * u + v * v - 1);
        };
        const std::pair first = sample(0);
        auto [x, y] = first;
        join(r.x + x, r.y + y, '.', 0, ink);
        for (int i = 1; i <= steps; ++i) {
          const auto [nx, ny] = i < steps ? sample(i) : first;
          // Samples further apart (an outline far larger than the grid) stay unjoined.
          if (std::abs(nx - x) > 1 || std::abs(ny - y) > 1) {
            x = nx;
            y = ny;
            join(r.x + x, r.y + y, '.', 0, ink);
            continue;
          }
          while (x != nx || y != ny) {
            int dx = (nx > x) - (nx < x), dy = (ny > y) - (ny < y);
            // A diagonal step goes round by the cell nearer the outline.
            if (dx && dy) {
              if (off(x + dx, y) <= off(x, y + dy))
                dy = 0;
              else
                dx = 0;
            }
            join(r.x + x, r.y + y, '.', armTowards(dx, dy), ink);
            x += dx;
            y += dy;
            join(r.x + x, r.y + y, '.', armTowards(-dx, -dy), ink);
          }
        }
        break;
      }
      case DrawOp::Kind::Line: {
        const int ax = col(op.x1 + 0.5), ay = row(op.y1 + 0.5), bx = col(op.x2 + 0.5), by = row(op.y2 + 0.5);
        const char ch = ay == by ? '-' : ax == bx ? '|' : (static_cast<int64_t>(bx - ax) * (by - ay) > 0 ? '\\' : '/');
        const int n = std::min(std::max(std::abs(bx - ax), std::abs(by - ay)), 4096);
        // Straight across or down, its pieces join what they cross; a
        // diagonal has no piece of its own.
        const bool straight = ax == bx || ay == by;
        const int ux = (bx > ax) - (bx < ax), uy = (by > ay) - (by < ay);
        for (int i = 0; i <= n; ++i) {
          const int x = n ? ax + static_cast<int>(static_cast<int64_t>(bx - ax) * i / n) : ax;
          const int y = n ? ay + static_cast<int>(static_cast<int64_t>(by - ay) * i / n) : ay;
          if (!r.contains(x, y) || x < 0 || y < 0 || x >= g.width() || y >= g.height()) continue;
          const char was = g.cell(x, y).ch;
          const bool crosses = (was == '-' && ch == '|') || (was == '|' && ch == '-') || was == '+';
          if (straight)
            join(x, y, crosses ? '+' : ch, (i > 0 ? armTowards(-ux, -uy) : 0) | (i < n ? armTowards(ux, uy) : 0),
                 penInk(op.pen));
          else
            set(x, y, crosses ? '+' : ch, penInk(op.pen));
        }
        break;
      }
      case DrawOp::Kind::Text: {
        const std::string_view text = std::string_view(op.text).substr(0, op.text.find_first_of("\r\n"));
        const int w = static_cast<int>(std::min<size_t>(text.size(), 4096));
        const auto [x, y] = placeLabel(r, labels, col((left + right) / 2.0) - w / 2, row((top + bottom) / 2.0), w);
        g.put(x, y, text, Ink::Label, false, r);
        labels.push_back(Rect{x, y, w, 1});
        break;
      }
    }
  }
}

std::string fieldText(const res::ControlTemplate& c, const ControlState& s) {
  // An edit and a typed-in drop-down show their text; a pick shows its entry.
  if (c.kind == ControlKind::Edit || (c.kind == ControlKind::ComboBox && !s.text.empty())) return s.text;
  if (s.selection >= 0 && static_cast<size_t>(s.selection) < s.items.size())
    return s.items[static_cast<size_t>(s.selection)];
  return s.text;
}

int listRows(const res::ControlTemplate& c, const res::DialogTemplate& t, const Rect& area) {
  const Rect r = cellRect(c, t, area);
  return std::max(1, (c.style & res::kBorder) && r.h > 2 ? r.h - 2 : r.h);
}

void drawWindow(Grid& g, const Rect& area, const WindowView& v) {
  if (!v.tpl) return;
  const res::DialogTemplate& t = *v.tpl;
  if (t.isPage) {
    auto it = v.controls.find(0);
    const res::PixelRect px = res::pixelRect(t);
    if (it != v.controls.end())
      drawDisplayList(g, area, it->second.clientWidth ? it->second.clientWidth : px.w,
                      it->second.clientHeight ? it->second.clientHeight : px.h, it->second.surface);
  }
  // Group boxes first: they frame the controls drawn over them.
  for (int pass = 0; pass < 2; ++pass)
    for (const res::ControlTemplate& c : t.controls) {
      if ((c.kind == ControlKind::GroupBox) != (pass == 0)) continue;
      ControlState s;
      s.text = std::string(c.text);
      s.enabled = !(c.style & res::kDisabled);
      s.visible = !(c.style & res::kHidden);
      if (c.id != ids::kStatic) {
        auto it = v.controls.find(c.id);
        if (it == v.controls.end()) continue;
        s = it->second;
      }
      if (!s.visible) continue;
      const Rect r = cellRect(c, t, area);
      const bool focused = c.id != ids::kStatic && c.id == v.focus;
      const Ink ink = s.enabled ? Ink::Normal : Ink::Dim;
      const int middle = r.x + r.w / 2;
      switch (c.kind) {
        case ControlKind::Label: {
          const std::string_view text = lines(s.text).front();
          const int x = (c.style & res::kCentered) ? middle - static_cast<int>(text.size()) / 2 : r.x;
          g.put(std::max(x, r.x), r.y, text, ink, false, r);
          break;
        }
        case ControlKind::Icon: break;
        case ControlKind::Frame: {
          const res::PixelRect px = res::pixelRect(c);
          drawDisplayList(g, r, s.clientWidth ? s.clientWidth : px.w, s.clientHeight ? s.clientHeight : px.h,
                          s.surface);
          break;
        }
        case ControlKind::GroupBox: g.frame(r, s.text); break;
        case ControlKind::Button:
        case ControlKind::DefaultButton: {
          const std::string text = (c.kind == ControlKind::DefaultButton ? "<" : "[") + s.text +
                                   (c.kind == ControlKind::DefaultButton ? ">" : "]");
          const int x = std::max(r.x, middle - static_cast<int>(text.size()) / 2);
          g.put(x, r.y, text, ink, focused, Rect{r.x, r.y, std::max(r.w, static_cast<int>(text.size())), 1});
          break;
        }
        case ControlKind::CheckBox:
        case ControlKind::RadioButton: {
          const bool check = c.kind == ControlKind::CheckBox;
          std::string mark = check ? (s.checked ? "[x]" : "[ ]") : (s.checked ? "(*)" : "( )");
          g.put(r.x, r.y, mark, ink, focused, r);
          g.put(r.x + 4, r.y, s.text, ink, false, r);
          break;
        }
        case ControlKind::ComboBox:
        case ControlKind::DropList:
        case ControlKind::Edit: {
          std::string text = fieldText(c, s);
          const int room = std::max(0, r.w - (c.kind == ControlKind::Edit ? 0 : 2));
          // An edit shows its end, where typing goes.
          if (static_cast<int>(text.size()) > room) text = text.substr(text.size() - static_cast<size_t>(room));
          text.resize(static_cast<size_t>(room), '_');
          if (c.kind != ControlKind::Edit) text += " v";
          g.put(r.x, r.y, text, ink, focused, r);
          break;
        }
        case ControlKind::ListBox: {
          Rect in = r;
          if ((c.style & res::kBorder) && r.h > 2) {
            g.frame(r, {});
            in = {r.x + 1, r.y + 1, std::max(0, r.w - 2), r.h - 2};
          }
          auto topIt = v.top.find(c.id);
          const int first = std::max(0, topIt == v.top.end() ? 0 : topIt->second);
          for (int i = 0; i < in.h; ++i) {
            const size_t item = static_cast<size_t>(first + i);
            if (item >= s.items.size()) break;
            const bool selected = static_cast<int>(item) == s.selection;
            g.put(in.x, in.y + i, s.items[item], ink, selected && focused, in);
          }
          if (focused && (c.style & res::kBorder) && r.h > 2) g.put(r.x + 1, r.y, "*", Ink::Label, false, r);
          break;
        }
        case ControlKind::Progress: {
          if (r.w < 3) break;
          const int inner = r.w - 2, filled = std::clamp(s.progress, 0, 100) * inner / 100;
          g.put(r.x, r.y, "[", ink, false, r);
          g.put(r.x + 1, r.y, std::string(static_cast<size_t>(filled), '#'), Ink::Used, false, r);
          g.put(r.x + 1 + filled, r.y, std::string(static_cast<size_t>(inner - filled), '.'), ink, false, r);
          g.put(r.x + r.w - 1, r.y, "]", ink, false, r);
          break;
        }
      }
    }
}

std::vector<BoxButton> boxButtons(unsigned type) {
  switch (type & 0x0F) {
    case 1: return {{"OK", kIdOk}, {"Cancel", 2}};
    case 2: return {{"Abort", 3}, {"Retry", 4}, {"Ignore", 5}};
    case 3: return {{"Yes", 6}, {"No", 7}, {"Cancel", 2}};
    case 4: return {{"Yes", 6}, {"No", 7}};
    case 5: return {{"Retry", 4}, {"Cancel", 2}};
    default: return {{"OK", kIdOk}};
  }
}

Rect pageArea(int width, int height, bool menuBar) {
  const int top = menuBar ? 2 : 1;
  return {0, top, width, std::max(0, height - top - 1)};
}

Rect dialogRect(const res::DialogTemplate& d, const res::DialogTemplate& page, const Rect& area) {
  // The page's scale, so a dialog's text is as legible as the page's.
  const int w = std::min(area.w, scaled(d.width, area.w, page.width) + 2);
  const int h = std::min(area.h, scaled(d.height, area.h, page.height) + 2);
  return {area.x + (area.w - w) / 2, area.y + (area.h - h) / 2, w, h};
}

namespace {

void drawMenu(Grid& g, const ScreenState& s) {
  const auto menus = res::commandBarMenu();
  int x = 1;
  for (size_t m = 0; m < menus.size(); ++m) {
    const std::string label = " " + std::string(menus[m].label) + " ";
    const bool open = static_cast<int>(m) == s.menu.open;
    g.put(x, 1, label, Ink::Normal, open);
    if (open) {
      size_t widest = 0;
      for (const res::MenuItem& i : menus[m].items) widest = std::max(widest, i.label.size());
      const Rect box{x, 2, static_cast<int>(widest) + 4, static_cast<int>(menus[m].items.size()) + 2};
      g.fill(box, ' ');
      g.frame(box, {});
      for (size_t i = 0; i < menus[m].items.size(); ++i) {
        const res::MenuItem& item = menus[m].items[i];
        auto e = s.menu.enabled.find(item.command);
        const bool on = e == s.menu.enabled.end() || e->second;
        // Greyed items carry a mark of their own for terminals without dim.
        std::string text = (on ? " " : "-") + std::string(item.label);
        text.resize(widest + 2, ' ');
        g.put(x + 1, 3 + static_cast<int>(i), text, on ? Ink::Normal : Ink::Dim, static_cast<int>(i) == s.menu.item);
      }
    }
    x += static_cast<int>(label.size()) + 1;
  }
}

void drawDialog(Grid& g, const Rect& area, const WindowView& d, const res::DialogTemplate& page) {
  const Rect r = dialogRect(*d.tpl, page, area);
  g.fill(r, ' ');
  g.frame(r, d.tpl->caption);
  drawWindow(g, Rect{r.x + 1, r.y + 1, r.w - 2, r.h - 2}, d);
}

Rect centred(const Rect& area, int w, int h) {
  w = std::min(w, area.w);
  h = std::min(h, area.h);
  return {area.x + (area.w - w) / 2, area.y + (area.h - h) / 2, w, h};
}

void drawBox(Grid& g, const Rect& area, const BoxView& b) {
  const auto text = lines(b.text);
  const auto buttons = boxButtons(b.type);
  int w = static_cast<int>(b.caption.size()) + 4, buttonsWidth = 0;
  for (auto l : text) w = std::max(w, static_cast<int>(l.size()) + 2 * kBoxMargin);
  for (const BoxButton& k : buttons) buttonsWidth += static_cast<int>(k.label.size()) + 3;
  w = std::max(w, buttonsWidth + 2 * kBoxMargin);
  const Rect r = centred(area, w, static_cast<int>(text.size()) + 4);
  g.fill(r, ' ');
  g.frame(r, b.caption);
  const Rect in{r.x + 1, r.y + 1, r.w - 2, r.h - 2};
  for (size_t i = 0; i < text.size(); ++i) g.put(r.x + kBoxMargin, r.y + 1 + static_cast<int>(i), text[i], Ink::Normal, false, in);
  int x = r.x + (r.w - buttonsWidth) / 2;
  for (size_t i = 0; i < buttons.size(); ++i) {
    const std::string label = "[" + std::string(buttons[i].label) + "]";
    g.put(x, r.y + r.h - 2, label, Ink::Normal, static_cast<int>(i) == b.focus, in);
    x += static_cast<int>(label.size()) + 1;
  }
}

void drawFile(Grid& g, const Rect& area, const FileView& f) {
  const Rect r = centred(area, area.w - 4, 4);
  g.fill(r, ' ');
  g.frame(r, f.title);
  const int room = std::max(1, r.w - 4);
  std::string path = f.path.size() >= static_cast<size_t>(room) ? f.path.substr(f.path.size() - static_cast<size_t>(room) + 1) : f.path;
  path += '_';
  g.put(r.x + 2, r.y + 1, path, Ink::Normal, true, Rect{r.x + 1, r.y + 1, r.w - 2, 1});
}

}  // namespace

Grid composeScreen(const ScreenState& s) {
  Grid g(s.width, s.height);
  if (s.width < kMinWidth || s.height < kMinHeight) {
    g.put(0, 0, kTooSmall.substr(0, static_cast<size_t>(std::max(0, s.width))));
    return g;
  }
  int x = 0;
  for (size_t i = 0; i < s.tabs.size(); ++i) {
    const std::string tab = " F" + std::to_string(i + 1) + " " + s.tabs[i] + " ";
    g.put(x, 0, tab, Ink::Normal, static_cast<int>(i) == s.activeTab);
    x += static_cast<int>(tab.size()) + 1;
  }
  g.put(std::max(x + 1, s.width - static_cast<int>(s.caption.size()) - 1), 0, s.caption, Ink::Label);
  const Rect area = pageArea(s.width, s.height, s.menuBar);
  if (s.page) drawWindow(g, area, *s.page);
  const res::DialogTemplate* pageTpl = s.page ? s.page->tpl : nullptr;
  for (const WindowView* d : s.dialogs)
    if (d && d->tpl && pageTpl) drawDialog(g, area, *d, *pageTpl);
  if (s.menuBar) drawMenu(g, s);
  if (s.box) drawBox(g, area, *s.box);
  if (s.file) drawFile(g, area, *s.file);
  g.put(0, s.height - 1, kHelpLine.substr(0, static_cast<size_t>(s.width)), Ink::Dim);
  return g;
}

}  // namespace ferrolan::tui
