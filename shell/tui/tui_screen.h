#pragma once
// The terminal front end's picture of the sheet: the pages, the menu, the
// dialogs and boxes laid out from their templates into a grid of character
// cells. Pure layout, no terminal: the curses loop copies the grid out and
// the tests read it.

#include <cstdint>
#include <iterator>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "shell/resources.h"
#include "ui/ui_model.h"

namespace ferrolan::tui {

// The colours a cell is drawn in; terminals without colour show the marks
// alone (for the signal bars a dense shade or '#' used, a light one or ':'
// not used).
enum class Ink : uint8_t { Normal, Used, NotUsed, Ring, Label, Dim };

// A line piece, named by the arms it reaches out with (up 1, down 2, left 4,
// right 8): pieces meeting in a cell join by or-ing their arms, so a ring
// crossed by a line becomes a cross or a tee. None shows the cell's `ch`.
enum class Glyph : uint8_t {
  None,
  Up,  // a lone arm: the end of a line, drawn as its straight piece
  Down,
  Vertical,
  Left,
  LowerRight,
  UpperRight,
  RightTee,
  Right,
  LowerLeft,
  UpperLeft,
  LeftTee,
  Horizontal,
  BottomTee,
  TopTee,
  Cross,
  // Fills, no arms: the signal bars of used and of other satellites.
  DenseShade,
  LightShade,
};
inline constexpr unsigned kArmUp = 1, kArmDown = 2, kArmLeft = 4, kArmRight = 8;
constexpr unsigned arms(Glyph g) { return static_cast<unsigned>(g) < 16 ? static_cast<unsigned>(g) : 0; }
constexpr Glyph joined(Glyph a, Glyph b) { return static_cast<Glyph>(arms(a) | arms(b)); }

// Every piece's plain character and its VT100 line-drawing code, the index
// curses looks its ACS_ character up by (ACS_HLINE is 'q', ACS_PLUS 'n').
// The plain character is what terminals without line drawing and the
// tests see.
// The shades have a Unicode character for UTF-8 terminals (ncurses sends
// both ACS boards as the same one); on others the dense one is the
// terminal's board and the light one stays plain.
struct GlyphRow {
  Glyph glyph;
  char ascii, acs;  // acs 0: none
  wchar_t wide = 0;  // 0: curses' own for the ACS piece
};
inline constexpr GlyphRow kGlyphs[] = {
    {Glyph::None, ' ', 0},         {Glyph::Up, '|', 'x'},         {Glyph::Down, '|', 'x'},
    {Glyph::Vertical, '|', 'x'},   {Glyph::Left, '-', 'q'},       {Glyph::LowerRight, '+', 'j'},
    {Glyph::UpperRight, '+', 'k'}, {Glyph::RightTee, '+', 'u'},   {Glyph::Right, '-', 'q'},
    {Glyph::LowerLeft, '+', 'm'},  {Glyph::UpperLeft, '+', 'l'},  {Glyph::LeftTee, '+', 't'},
    {Glyph::Horizontal, '-', 'q'}, {Glyph::BottomTee, '+', 'v'},  {Glyph::TopTee, '+', 'w'},
    {Glyph::Cross, '+', 'n'},      {Glyph::DenseShade, '#', 'a', L'\u2588'},
    {Glyph::LightShade, ':', 0, L'\u2591'},
};
// The rows stand in the enum's order: a piece's row is its value.
constexpr const GlyphRow& glyphRow(Glyph g) { return kGlyphs[static_cast<unsigned>(g)]; }
static_assert([] {
  for (unsigned i = 0; i < std::size(kGlyphs); ++i)
    if (static_cast<unsigned>(kGlyphs[i].glyph) != i) return false;
  return std::size(kGlyphs) == static_cast<unsigned>(Glyph::LightShade) + 1;
}());

struct Cell {
  char ch = ' ';
  Glyph glyph = Glyph::None;  // drawn instead of `ch` where the terminal has line drawing
  Ink ink = Ink::Normal;
  bool reverse = false;  // focus and selection
  bool operator==(const Cell&) const = default;
};

struct Rect {
  int x = 0, y = 0, w = 0, h = 0;
  bool contains(int cx, int cy) const { return cx >= x && cy >= y && cx < x + w && cy < y + h; }
};

class Grid {
 public:
  Grid(int width, int height);
  int width() const { return width_; }
  int height() const { return height_; }
  const Cell& cell(int x, int y) const { return cells_[static_cast<size_t>(y * width_ + x)]; }
  // Writes inside `clip` (and the grid) only; bytes outside ASCII show as '?'.
  void put(int x, int y, std::string_view text, Ink ink, bool reverse, const Rect& clip);
  void put(int x, int y, std::string_view text, Ink ink = Ink::Normal, bool reverse = false);
  void set(int x, int y, char ch, Ink ink, const Rect& clip, Glyph glyph = Glyph::None);
  // Sets `ch` and adds the piece's arms to those the cell has.
  void join(int x, int y, char ch, Glyph piece, Ink ink, const Rect& clip);
  void fill(const Rect& r, char ch);
  void frame(const Rect& r, std::string_view title);
  std::string line(int y) const;
  bool operator==(const Grid&) const = default;

 private:
  int width_, height_;
  std::vector<Cell> cells_;
};

// A window as the screen shows it: its template, its controls' states as
// the model last told them, and the user's place in it.
struct WindowView {
  const res::DialogTemplate* tpl = nullptr;
  std::map<int, ControlState> controls;
  int focus = 0;           // control id with the focus, 0 for none
  std::map<int, int> top;  // list boxes: the first line shown
};

// Where a control lies in `area`, which the window's template fills.
Rect cellRect(const res::ControlTemplate& c, const res::DialogTemplate& t, const Rect& area);
// The ids that take the focus, in template order: enabled, visible
// buttons, boxes, edits and lists.
std::vector<int> focusOrder(const WindowView& view);
bool takesFocus(res::ControlKind kind);
// A display list in nominal pixels (nominalW x nominalH) drawn into `cells`:
// fills by their colour's mark, ellipse outlines and straight lines as line
// pieces, texts at their rectangle's centre. A text keeps clear of the texts
// drawn before it (the nearest free place, rows before columns, a blank
// between two) and later shapes leave it whole.
void drawDisplayList(Grid& grid, const Rect& cells, int nominalW, int nominalH, const std::vector<DrawOp>& ops);
void drawWindow(Grid& grid, const Rect& area, const WindowView& view);
// What a drop-down or edit shows.
std::string fieldText(const res::ControlTemplate& c, const ControlState& s);
// Lines of a list box that fit its rectangle.
int listRows(const res::ControlTemplate& c, const res::DialogTemplate& t, const Rect& area);

// A message box's buttons by its type's button set, with their answers.
struct BoxButton {
  std::string_view label;
  int answer;
};
std::vector<BoxButton> boxButtons(unsigned type);

struct MenuView {
  int open = -1;  // the menu shown dropped down, -1 for none
  int item = 0;
  std::map<int, bool> enabled;  // by command; missing is enabled
};

struct BoxView {
  std::string caption, text;
  unsigned type = kMbOk;
  int focus = 0;  // index into boxButtons(type)
};

struct FileView {
  std::string title, path;
};

struct ScreenState {
  int width = 0, height = 0;
  std::string caption;
  std::vector<std::string> tabs;
  int activeTab = 0;
  bool menuBar = false;  // the tool's pages carry the command bar
  MenuView menu;
  const WindowView* page = nullptr;
  std::vector<const WindowView*> dialogs;  // innermost last
  const BoxView* box = nullptr;
  const FileView* file = nullptr;
};

inline constexpr int kMinWidth = 80, kMinHeight = 24;
inline constexpr std::string_view kTooSmall = "terminal too small: 80x24 at least";
inline constexpr std::string_view kHelpLine =
    "Tab/arrows move  Enter/Space press  Esc cancel  F1-F3/1-3 pages  F10/m menu  q quit";

// The page area of a screen of that size, below the tabs and the menu bar.
Rect pageArea(int width, int height, bool menuBar);
// Where a dialog's box lies over the page area.
Rect dialogRect(const res::DialogTemplate& dialog, const res::DialogTemplate& page, const Rect& area);
Grid composeScreen(const ScreenState& s);

}  // namespace ferrolan::tui
