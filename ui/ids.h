#pragma once
// Window (dialog template) and control ids shared by the logic and every
// front end. A window is named by its generic template id; the layout
// variant (Pocket PC portrait or landscape) is a rendering matter.

namespace ferrolan {

enum class WindowId : int {
  TextPage = 110,
  InfoPage = 106,
  SkyPage = 108,
  About = 102,
  ComPortSetup = 104,
  SingleChannel = 116,
  UpdateFirmware = 117,
  VbiLogSetting = 123,
  DriverInstall = 124,
  FsaModify = 128,
};

namespace ids {

// Text page.
inline constexpr int kTextLog = 1032;
inline constexpr int kTextProgress = 1036;
inline constexpr int kTextStatus = 1039;
inline constexpr int kTextPortLabel = 1044;
inline constexpr int kTextBaudLabel = 1096;

// COM Port Setup.
inline constexpr int kComConnect = 1000;
inline constexpr int kComDisconnect = 1001;
inline constexpr int kComPortBox = 1002;
inline constexpr int kComBaudBox = 1003;
inline constexpr int kComStatus = 1004;

// Info page fields.
inline constexpr int kInfoUtc = 1037;
inline constexpr int kInfoLatitude = 1090;
inline constexpr int kInfoLongitude = 1030;
inline constexpr int kInfoUsed = 1034;
inline constexpr int kInfoFix = 1041;
inline constexpr int kInfoTtff = 1049;
inline constexpr int kInfoVersion = 1114;

// Update Firmware dialog.
inline constexpr int kUpdFileName = 1068;
inline constexpr int kUpdStatus = 1071;
inline constexpr int kUpdProgress = 1075;

// Standard dialog commands.
inline constexpr int kOk = 1;
inline constexpr int kCancel = 2;

}  // namespace ids
}  // namespace ferrolan
