#pragma once
// The program's user-interface resources: every dialog template (pages and
// dialogs, per layout where they differ), the command-bar menu and the
// string table. The logic opens windows from these tables and the front ends
// build their widgets from them, so a control id is written down only here
// and in ui/ids.h.

#include <array>
#include <span>
#include <string_view>
#include <utility>
#include <vector>

#include "shell/front_end.h"
#include "ui/dialog_lists.h"
#include "ui/ids.h"
#include "ui/ui_model.h"

namespace ferrolan::res {

enum class ControlKind {
  Label,          // static text
  Frame,          // static frame; the signal bars paint on it
  Icon,           // static icon
  GroupBox,
  Button,         // push button
  DefaultButton,  // default push button: Enter presses it
  CheckBox,       // auto check box
  RadioButton,    // auto radio button
  ComboBox,       // editable drop-down list
  DropList,       // drop-down list
  ListBox,
  Edit,
  Progress,
};

// Style bits of a control template.
inline constexpr unsigned kCentered = 1u << 0;  // centred text
inline constexpr unsigned kBorder = 1u << 1;
inline constexpr unsigned kHScroll = 1u << 2;
inline constexpr unsigned kVScroll = 1u << 3;
inline constexpr unsigned kDisabled = 1u << 4;
inline constexpr unsigned kHidden = 1u << 5;

struct ControlTemplate {
  int id = ids::kStatic;
  ControlKind kind = ControlKind::Label;
  std::string_view text;
  int x = 0, y = 0, w = 0, h = 0;  // dialog units
  unsigned style = 0;
};

struct DialogTemplate {
  int id = 0;
  WindowId window{};  // the UI model window it is opened as
  Layout layout = Layout::Generic;
  std::string_view caption;
  int width = 0, height = 0;  // dialog units
  std::string_view font;
  int fontSize = 0;
  bool isPage = false;
  std::span<const ControlTemplate> controls;
};

// Dialog units to the nominal pixels that display lists are drawn in. One
// unit is 1.5 pixels both ways (base units 6 by 12).
inline constexpr int kDuNumerator = 3, kDuDenominator = 2;
constexpr int duToPixels(int du) { return du * kDuNumerator / kDuDenominator; }

struct PixelRect {
  int x = 0, y = 0, w = 0, h = 0;
  bool operator==(const PixelRect&) const = default;
};
PixelRect pixelRect(const ControlTemplate& c);
// A page's client area in nominal pixels: the Sky page's surface.
PixelRect pixelRect(const DialogTemplate& t);

std::span<const DialogTemplate> allTemplates();
// The template with that resource id, or nullptr.
const DialogTemplate* findTemplate(int templateId);
// The template that a page or dialog uses in a layout (dialogs have one
// template for every layout), or nullptr for a window with no template.
const DialogTemplate* templateFor(WindowId window, Layout layout);
const ControlTemplate* findControl(const DialogTemplate& t, int id);

// The controls a window starts with, for UiModel::openWindow. Controls
// without an id are not part of the model. Pages also get control 0, their
// own drawing surface.
std::vector<std::pair<int, ControlState>> initialControls(const DialogTemplate& t);

// Menu 109: the command bar of the Info and Sky pages.
struct MenuItem {
  int command = 0;
  std::string_view label;
};
struct Menu {
  std::string_view label;
  std::span<const MenuItem> items;
};
std::span<const Menu> commandBarMenu();
// The label of a command of menu 109, or empty.
std::string_view menuLabel(int command);

// The string table; empty for an id that has no entry.
std::string_view loadString(int id);
inline constexpr int kStrTitle = 1, kStrClassName = 2, kStrTool = 3;

// Lists that several dialogs fill.
using ::ferrolan::kBaudList;
using ::ferrolan::kPortList;
using ::ferrolan::kRateList;

}  // namespace ferrolan::res
