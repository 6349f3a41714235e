#include "shell/resources.h"

#include <algorithm>
#include <array>

namespace ferrolan::res {
namespace {

using K = ControlKind;
using C = ControlTemplate;

// A fixed-capacity control list that templates are built into at compile time.
struct ControlList {
  std::array<C, 64> items{};
  size_t count = 0;
  constexpr void add(const C& c) { items.at(count++) = c; }
  constexpr std::span<const C> span() const { return {items.data(), count}; }
};

constexpr bool idsUnique(const ControlList& l) {
  for (size_t i = 0; i < l.count; ++i) {
    if (l.items[i].id == ids::kStatic) continue;
    for (size_t j = i + 1; j < l.count; ++j)
      if (l.items[i].id == l.items[j].id) return false;
  }
  return true;
}

// Every control lies inside its window and has a size.
constexpr bool fits(const ControlList& l, int width, int height) {
  for (size_t i = 0; i < l.count; ++i) {
    const C& c = l.items[i];
    if (c.w <= 0 || c.h <= 0 || c.x < 0 || c.y < 0) return false;
    // Drop-down heights include their open list, which may extend below.
    const bool dropDown = c.kind == K::ComboBox || c.kind == K::DropList;
    if (c.x + c.w > width || (!dropDown && c.y + c.h > height)) return false;
  }
  return true;
}

// ---- Text page: 110 generic, 119 portrait, 122 landscape --------------------

constexpr ControlList textPage(int width, int listHeight) {
  ControlList l;
  const int inner = width - 8;
  int y = 4;
  l.add({ids::kTextLog, K::ListBox, "", 4, y, inner, listHeight, kBorder | kVScroll | kHScroll});
  y += listHeight + 4;
  l.add({ids::kTextProgress, K::Progress, "", 4, y, inner, 9, 0});
  y += 13;
  l.add({ids::kTextStatus, K::Label, "", 4, y, inner, 10, kCentered});
  y += 13;
  const int half = (inner - 4) / 2;
  l.add({ids::kTextPortLabel, K::Label, "N/A", 4, y, half, 10, kCentered});
  l.add({ids::kTextBaudLabel, K::Label, "N/A", 8 + half, y, half, 10, kCentered});
  return l;
}

constexpr int kGenericW = 180, kGenericH = 150;
constexpr int kPortraitW = 160, kPortraitH = 150;
constexpr int kLandscapeW = 213, kLandscapeH = 110;

constexpr ControlList kTextPageGeneric = textPage(kGenericW, 96);
constexpr ControlList kTextPagePortrait = textPage(kPortraitW, 96);
constexpr ControlList kTextPageLandscape = textPage(kLandscapeW, 58);

// ---- Info page: 106 generic, 118 portrait, 120 landscape --------------------

struct InfoGeometry {
  int width;
  int fieldColumns;  // 2 or 3 columns of caption + value
  int barX, barPitch, barWidth, barY, barHeight;
  int buttonY;
  bool generic;  // 106: "Sort" and "Clean" hidden, the two sort buttons present
};

constexpr ControlList infoPage(const InfoGeometry& g) {
  ControlList l;
  struct Field {
    std::string_view caption;
    int id;
  };
  // In reading order, filled column by column.
  constexpr Field fields[6] = {{"UTC", ids::kInfoUtc},   {"Lat", ids::kInfoLatitude}, {"Lon", ids::kInfoLongitude},
                               {"Fix", ids::kInfoFix},   {"Used", ids::kInfoUsed},    {"TTFF", ids::kInfoTtff}};
  const int rows = 6 / g.fieldColumns;
  const int columnWidth = (g.width - 4) / g.fieldColumns;
  for (int i = 0; i < 6; ++i) {
    const int col = i / rows, row = i % rows;
    const int x = 2 + col * columnWidth, y = 2 + row * 10;
    l.add({ids::kStatic, K::Label, fields[i].caption, x, y, 18, 9, 0});
    l.add({fields[i].id, K::Label, "", x + 18, y, columnWidth - 20, 9, kCentered});
  }
  for (int c = 0; c < 16; ++c) {
    const int x = g.barX + c * g.barPitch;
    l.add({ids::kInfoChannelBars[c], K::Frame, "", x, g.barY, g.barWidth, g.barHeight, kBorder});
    l.add({ids::kInfoChannelLabels[c], K::Label, "", x - (g.barPitch - g.barWidth) / 2, g.barY + g.barHeight + 1,
           g.barPitch, 9, kCentered});
  }
  const unsigned hiddenInGeneric = g.generic ? kHidden : 0u;
  int x = 4;
  l.add({ids::kInfoColdStart, K::Button, "ColdStart", x, g.buttonY, 38, 13, 0});
  x += 41;
  l.add({ids::kInfoStop, K::Button, "Stop", x, g.buttonY, 30, 13, 0});
  x += 33;
  l.add({ids::kInfoSort, K::Button, "Sort", x, g.buttonY, 30, 13, hiddenInGeneric});
  x += 33;
  l.add({ids::kInfoClean, K::Button, "Clean", x, g.buttonY, 30, 13, hiddenInGeneric});
  if (g.generic) {
    // Present in the generic template only, and there hidden and disabled.
    l.add({ids::kInfoSortBySvid, K::Button, "Sort By SVID", 4, g.buttonY + 16, 60, 13, kHidden | kDisabled});
    l.add({ids::kInfoSortByCno, K::Button, "Sort By C/No", 68, g.buttonY + 16, 60, 13, kHidden | kDisabled});
  }
  return l;
}

constexpr ControlList kInfoPageGeneric = infoPage({kGenericW, 2, 10, 10, 8, 36, 40, 90, true});
constexpr ControlList kInfoPagePortrait = infoPage({kPortraitW, 2, 9, 9, 7, 36, 40, 90, false});
constexpr ControlList kInfoPageLandscape = infoPage({kLandscapeW, 3, 6, 13, 10, 26, 40, 80, false});

// ---- Sky page: 108 generic, 115 portrait, 121 landscape: no controls --------

constexpr ControlList kSky{};

// ---- Dialogs -----------------------------------------------------------------

constexpr ControlList comPortSetup() {
  ControlList l;
  l.add({ids::kStatic, K::Label, "COM Port:", 6, 8, 42, 10, 0});
  l.add({ids::kComPortBox, K::ComboBox, "", 50, 6, 74, 80, kVScroll});
  l.add({ids::kStatic, K::Label, "Baud Rate:", 6, 24, 42, 10, 0});
  l.add({ids::kComBaudBox, K::ComboBox, "", 50, 22, 74, 80, kVScroll});
  l.add({ids::kComConnect, K::Button, "Connect", 6, 40, 56, 14, 0});
  l.add({ids::kComDisconnect, K::Button, "Disconnect", 68, 40, 56, 14, 0});
  l.add({ids::kComStatus, K::Label, "Not connected", 6, 60, 118, 10, kCentered});
  return l;
}
constexpr ControlList kComPortSetupControls = comPortSetup();

constexpr ControlList singleChannel() {
  ControlList l;
  l.add({ids::kStatic, K::Label, "Select A ID", 6, 8, 56, 10, 0});
  l.add({ids::kScIdBox, K::ComboBox, "", 66, 6, 40, 90, kVScroll});
  l.add({ids::kScEnter, K::DefaultButton, "Enter Single Channel Mode", 6, 26, 118, 14, 0});
  l.add({ids::kScExit, K::Button, "Exit Single Channel Mode", 6, 44, 118, 14, 0});
  return l;
}
constexpr ControlList kSingleChannelControls = singleChannel();

constexpr ControlList fsaModify() {
  ControlList l;
  l.add({ids::kFsaChangeBaud, K::CheckBox, "Change Baud Rate", 6, 6, 80, 10, 0});
  l.add({ids::kFsaBaudBox, K::ComboBox, "", 92, 4, 62, 80, kVScroll});
  l.add({ids::kFsaChangeOutput, K::CheckBox, "Change Output", 6, 22, 80, 10, 0});
  struct Rate {
    std::string_view label;
    int id;
  };
  // The labels as the resources carry them, "GLL " with its blank.
  constexpr Rate rates[8] = {{"RMC", ids::kFsaRmc}, {"GGA", ids::kFsaGga}, {"GLL ", ids::kFsaGll},
                             {"GSA", ids::kFsaGsa}, {"GSV", ids::kFsaGsv}, {"ALM", ids::kFsaAlm},
                             {"VTG", ids::kFsaVtg}, {"ZDA", ids::kFsaZda}};
  for (int i = 0; i < 8; ++i) {
    const int x = 6 + (i % 2) * 76, y = 38 + (i / 2) * 16;
    l.add({ids::kStatic, K::Label, rates[i].label, x, y + 2, 20, 10, 0});
    l.add({rates[i].id, K::ComboBox, "", x + 22, y, 50, 80, kVScroll});
  }
  l.add({ids::kOk, K::DefaultButton, "OK", 24, 106, 50, 14, 0});
  l.add({ids::kCancel, K::Button, "Cancel", 86, 106, 50, 14, 0});
  return l;
}
constexpr ControlList kFsaModifyControls = fsaModify();

constexpr ControlList updateFirmware() {
  ControlList l;
  l.add({ids::kStatic, K::GroupBox, "Select A Section To Update", 4, 4, 152, 40, 0});
  l.add({ids::kUpdFlashKernel, K::RadioButton, "Flash Kernel", 10, 15, 68, 10, 0});
  l.add({ids::kUpdFsa, K::RadioButton, "FSA", 84, 15, 66, 10, kDisabled});
  l.add({ids::kUpdFirmware, K::RadioButton, "Firmware(AP)", 10, 29, 68, 10, kDisabled});
  l.add({ids::kUpdAllImage, K::RadioButton, "All-Image", 84, 29, 66, 10, kDisabled});
  l.add({ids::kStatic, K::GroupBox, "Select A File To Update", 4, 48, 152, 32, 0});
  l.add({ids::kUpdLoadFile, K::Button, "Load File", 10, 60, 40, 14, 0});
  l.add({ids::kUpdFileName, K::Edit, "", 54, 61, 96, 12, kBorder | kHScroll | kDisabled});
  l.add({ids::kUpdUpdate, K::DefaultButton, "Update", 56, 86, 48, 14, kDisabled});
  l.add({ids::kUpdStatus, K::Label, "", 4, 104, 152, 10, 0});
  l.add({ids::kUpdProgress, K::Progress, "", 4, 117, 152, 8, 0});
  return l;
}
constexpr ControlList kUpdateFirmwareControls = updateFirmware();

constexpr ControlList driverInstall() {
  ControlList l;
  l.add({ids::kDrvPortLabel, K::Label, "COM Port:", 6, 8, 42, 10, 0});
  l.add({ids::kDrvPortBox, K::DropList, "", 50, 6, 74, 80, kVScroll});
  l.add({ids::kDrvBaudLabel, K::Label, "Baud Rate:", 6, 24, 42, 10, 0});
  l.add({ids::kDrvBaudBox, K::DropList, "", 50, 22, 74, 80, kVScroll});
  l.add({ids::kDrvInstall, K::Button, "Install", 6, 40, 56, 14, 0});
  l.add({ids::kDrvUninstall, K::Button, "Uninstall", 68, 40, 56, 14, 0});
  l.add({ids::kDrvStatus, K::Label, "Not installed", 4, 60, 172, 10, kCentered});
  return l;
}
constexpr ControlList kDriverInstallControls = driverInstall();

constexpr ControlList about() {
  ControlList l;
  // Icon 103 is named but the resources hold none, so the control stays blank.
  l.add({ids::kStatic, K::Icon, "", 6, 6, 20, 20, 0});
  l.add({ids::kStatic, K::Label, "Vexil Ferrolan", 32, 10, 88, 10, 0});
  l.add({ids::kStatic, K::Label, "GPS receiver utility", 32, 26, 88, 10, 0});
  return l;
}
constexpr ControlList kAboutControls = about();

constexpr ControlList vbiLogSetting() {
  ControlList l;
  l.add({ids::kLog10Minutes, K::RadioButton, "10 minutes", 12, 8, 90, 12, kDisabled});
  l.add({ids::kLog30Minutes, K::RadioButton, "30 minutes", 12, 23, 90, 12, kDisabled});
  l.add({ids::kLog1Hour, K::RadioButton, "1 hour", 12, 38, 90, 12, kDisabled});
  l.add({ids::kLog2Hours, K::RadioButton, "2 hour", 12, 53, 90, 12, kDisabled});
  return l;
}
constexpr ControlList kVbiLogSettingControls = vbiLogSetting();

static_assert(idsUnique(kTextPageGeneric) && idsUnique(kTextPagePortrait) && idsUnique(kTextPageLandscape));
static_assert(idsUnique(kInfoPageGeneric) && idsUnique(kInfoPagePortrait) && idsUnique(kInfoPageLandscape));
static_assert(idsUnique(kComPortSetupControls) && idsUnique(kSingleChannelControls) && idsUnique(kFsaModifyControls) &&
              idsUnique(kUpdateFirmwareControls));
static_assert(idsUnique(kDriverInstallControls) && idsUnique(kAboutControls) && idsUnique(kVbiLogSettingControls));
static_assert(fits(kTextPageGeneric, kGenericW, kGenericH) && fits(kTextPagePortrait, kPortraitW, kPortraitH) &&
              fits(kTextPageLandscape, kLandscapeW, kLandscapeH));
static_assert(fits(kInfoPageGeneric, kGenericW, kGenericH) && fits(kInfoPagePortrait, kPortraitW, kPortraitH) &&
              fits(kInfoPageLandscape, kLandscapeW, kLandscapeH));

using L = Layout;
using W = WindowId;

constexpr DialogTemplate kTemplates[] = {
    {110, W::TextPage, L::Generic, "", kGenericW, kGenericH, "System", 10, true, kTextPageGeneric.span()},
    {119, W::TextPage, L::PocketPortrait, "Text-P", kPortraitW, kPortraitH, "System", 10, true,
     kTextPagePortrait.span()},
    {122, W::TextPage, L::PocketLandscape, "Text -L", kLandscapeW, kLandscapeH, "System", 10, true,
     kTextPageLandscape.span()},
    {106, W::InfoPage, L::Generic, "Info", kGenericW, kGenericH, "System", 10, true, kInfoPageGeneric.span()},
    {118, W::InfoPage, L::PocketPortrait, "Info-P", kPortraitW, kPortraitH, "System", 10, true,
     kInfoPagePortrait.span()},
    {120, W::InfoPage, L::PocketLandscape, "Info-L", kLandscapeW, kLandscapeH, "System", 10, true,
     kInfoPageLandscape.span()},
    {108, W::SkyPage, L::Generic, "Sky", kGenericW, kGenericH, "System", 10, true, kSky.span()},
    {115, W::SkyPage, L::PocketPortrait, "Sky-P", kPortraitW, kPortraitH, "System", 10, true, kSky.span()},
    {121, W::SkyPage, L::PocketLandscape, "Sky -L", kLandscapeW, kLandscapeH, "System", 10, true, kSky.span()},
    {104, W::ComPortSetup, L::Generic, "COM Port Setup", 130, 76, "System", 10, false, kComPortSetupControls.span()},
    {116, W::SingleChannel, L::Generic, "Single Channel Mode", 130, 64, "System", 10, false,
     kSingleChannelControls.span()},
    {128, W::FsaModify, L::Generic, "FSA Modify", 160, 126, "System", 10, false, kFsaModifyControls.span()},
    {117, W::UpdateFirmware, L::Generic, "Update Firmware", 160, 130, "System", 10, false,
     kUpdateFirmwareControls.span()},
    {124, W::DriverInstall, L::Generic, "", 180, 76, "System", 10, false, kDriverInstallControls.span()},
    {102, W::About, L::Generic, "About Ferrolan", 125, 60, "System", 10, false, kAboutControls.span()},
    {123, W::VbiLogSetting, L::Generic, "VBI Log Setting", 117, 73, "System", 10, false, kVbiLogSettingControls.span()},
};

static_assert(fits(kComPortSetupControls, 130, 76) && fits(kSingleChannelControls, 130, 64) &&
              fits(kFsaModifyControls, 160, 126) && fits(kUpdateFirmwareControls, 160, 130));
static_assert(fits(kDriverInstallControls, 180, 76) && fits(kAboutControls, 125, 60) &&
              fits(kVbiLogSettingControls, 117, 73));

constexpr MenuItem kSetup[] = {{ids::kCmdCommSetting, "GPS Comm Setting"}, {ids::kCmdDualPort, "Dual Port"},
                               {ids::kCmdToNmea, "Switch To NMEA"},        {ids::kCmdToVbi, "Switch To VBI"},
                               {ids::kCmdVgan, "VGAN"},                    {ids::kCmdExit, "Exit"}};
constexpr MenuItem kCommand[] = {{ids::kCmdHotStart, "Hot Start"},
                                 {ids::kCmdWarmStart, "Warm Start"},
                                 {ids::kCmdColdStart, "Cold Start"},
                                 {ids::kCmdSingleChannel, "Single Channel Mode"}};
constexpr MenuItem kMisc[] = {{ids::kCmdFwUpdate, "FW Update"},
                              {ids::kCmdFwVersion, "FW Version"},
                              {ids::kCmdFsaModify, "FSA Modify"},
                              {ids::kCmdStartLog, "Start Log"},
                              {ids::kCmdStopLog, "Stop Log"}};
constexpr MenuItem kHelp[] = {{ids::kCmdAbout, "About"}};
constexpr Menu kMenu109[] = {{"Setup", kSetup}, {"Command", kCommand}, {"MISC", kMisc}, {"Help", kHelp}};

constexpr std::pair<int, std::string_view> kStrings[] = {
    {kStrTitle, "Ferrolan"}, {kStrClassName, "Ferrolan"}, {kStrTool, "Tool"}};

}  // namespace

PixelRect pixelRect(const ControlTemplate& c) {
  return {duToPixels(c.x), duToPixels(c.y), duToPixels(c.w), duToPixels(c.h)};
}

PixelRect pixelRect(const DialogTemplate& t) { return {0, 0, duToPixels(t.width), duToPixels(t.height)}; }

std::span<const DialogTemplate> allTemplates() { return kTemplates; }

const DialogTemplate* findTemplate(int templateId) {
  for (const auto& t : kTemplates)
    if (t.id == templateId) return &t;
  return nullptr;
}

const DialogTemplate* templateFor(WindowId window, Layout layout) {
  const DialogTemplate* any = nullptr;
  for (const auto& t : kTemplates) {
    if (t.window != window) continue;
    if (t.layout == layout) return &t;
    if (!t.isPage && !any) any = &t;
  }
  return any;
}

const ControlTemplate* findControl(const DialogTemplate& t, int id) {
  if (id == ids::kStatic) return nullptr;
  auto it = std::find_if(t.controls.begin(), t.controls.end(), [id](const C& c) { return c.id == id; });
  return it == t.controls.end() ? nullptr : &*it;
}

std::vector<std::pair<int, ControlState>> initialControls(const DialogTemplate& t) {
  std::vector<std::pair<int, ControlState>> out;
  if (t.isPage) {
    ControlState page;
    const PixelRect r = pixelRect(t);
    page.clientWidth = r.w, page.clientHeight = r.h;
    out.emplace_back(0, std::move(page));
  }
  for (const C& c : t.controls) {
    if (c.id == ids::kStatic) continue;
    ControlState s;
    const PixelRect r = pixelRect(c);
    s.clientWidth = r.w, s.clientHeight = r.h;
    s.text = std::string(c.text);
    s.enabled = (c.style & kDisabled) == 0;
    s.visible = (c.style & kHidden) == 0;
    out.emplace_back(c.id, std::move(s));
  }
  return out;
}

std::span<const Menu> commandBarMenu() { return kMenu109; }

std::string_view menuLabel(int command) {
  for (const Menu& m : kMenu109)
    for (const MenuItem& i : m.items)
      if (i.command == command) return i.label;
  return {};
}

std::string_view loadString(int id) {
  for (const auto& [key, text] : kStrings)
    if (key == id) return text;
  return {};
}

}  // namespace ferrolan::res
