#pragma once
// Window (dialog template) and control ids shared by the logic and every
// front end. A window is named by its generic template id; the layout
// variant (Pocket PC portrait or landscape) is a rendering matter.

#include "platform/line_speeds.h"

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

// Info page channels 1 to 16: satellite id labels and signal bar frames.
inline constexpr int kInfoChannelLabels[16] = {1007, 1009, 1011, 1014, 1017, 1018, 1020, 1021,
                                               1023, 1025, 1026, 1027, 1070, 1072, 1073, 1074};
inline constexpr int kInfoChannelBars[16] = {1055, 1056, 1057, 1058, 1059, 1060, 1061, 1062,
                                             1063, 1064, 1065, 1067, 1082, 1084, 1085, 1086};

// Info page buttons and the commands they carry.
inline constexpr int kInfoColdStart = 3;
inline constexpr int kInfoStop = 5;
inline constexpr int kInfoSortBySvid = 1087;
inline constexpr int kInfoSortByCno = 1088;
inline constexpr int kInfoSortReceiver = 1089;  // no control carries it
inline constexpr int kInfoClean = 1091;
inline constexpr int kInfoSort = 1092;
inline constexpr int kInfoFwVersion = 1115;  // no page in use carries it

// Single Channel Mode.
inline constexpr int kScIdBox = 1093;
inline constexpr int kScEnter = 1094;
inline constexpr int kScExit = 1095;

// FSA Modify.
inline constexpr int kFsaChangeBaud = 1109;
inline constexpr int kFsaChangeOutput = 1110;
inline constexpr int kFsaBaudBox = 1111;
inline constexpr int kFsaRmc = 1112;
inline constexpr int kFsaGga = 1114;
inline constexpr int kFsaGsa = 1115;
inline constexpr int kFsaGsv = 1116;
inline constexpr int kFsaGll = 1117;
inline constexpr int kFsaVtg = 1118;
inline constexpr int kFsaAlm = 1119;
inline constexpr int kFsaZda = 1120;

// Update Firmware dialog.
inline constexpr int kUpdFileName = 1068;
inline constexpr int kUpdStatus = 1071;
inline constexpr int kUpdProgress = 1075;
inline constexpr int kUpdAllImage = 1069;
inline constexpr int kUpdFirmware = 1079;
inline constexpr int kUpdFsa = 1081;
inline constexpr int kUpdFlashKernel = 1083;
inline constexpr int kUpdLoadFile = 1066;
inline constexpr int kUpdUpdate = 1012;

// Driver installation.
inline constexpr int kDrvPortLabel = 1101;
inline constexpr int kDrvBaudLabel = 1102;
inline constexpr int kDrvInstall = 1103;
inline constexpr int kDrvPortBox = 1105;
inline constexpr int kDrvBaudBox = 1106;
inline constexpr int kDrvStatus = 1107;
inline constexpr int kDrvUninstall = 1108;

// VBI Log Setting: the four size choices.
inline constexpr int kLog10Minutes = 1075;
inline constexpr int kLog30Minutes = 1076;
inline constexpr int kLog1Hour = 1077;
inline constexpr int kLog2Hours = 1078;

// Static controls that carry no id of their own.
inline constexpr int kStatic = -1;

// Standard dialog commands.
inline constexpr int kOk = 1;
inline constexpr int kCancel = 2;

// Menu 109 commands (the Info and Sky pages' command bar), and the
// dispatcher's commands that no menu item carries.
inline constexpr int kCmdCommSetting = 40001;
inline constexpr int kCmdToNmea = 40002;
inline constexpr int kCmdToVbi = 40003;
inline constexpr int kCmdExit = 40004;
inline constexpr int kCmdHotStart = 40005;
inline constexpr int kCmdWarmStart = 40006;
inline constexpr int kCmdColdStart = 40007;
inline constexpr int kCmdReset = 40008;
inline constexpr int kCmdFwUpdate = 40009;
inline constexpr int kCmdFwVersion = 40010;
inline constexpr int kCmdStartLog = 40011;
inline constexpr int kCmdStopLog = 40012;
inline constexpr int kCmdAbout = 40013;
// The Baud Rate commands, one per line speed in the table's order.
inline constexpr int kCmdBaud4800 = kLineSpeeds.front().commandId;
inline constexpr int kCmdBaud115200 = kLineSpeeds.back().commandId;
inline constexpr int kCmdFkUpdate = 40023;
inline constexpr int kCmdSpUpdate = 40025;
inline constexpr int kCmdSingleChannel = 40026;
inline constexpr int kCmdAllUpdate = 40027;
inline constexpr int kCmdDualPort = 40028;
inline constexpr int kCmdVgan = 40031;
inline constexpr int kCmdFsaModify = 40032;

// The command bar menu of the Info and Sky pages.
inline constexpr int kMenuCommandBar = 109;

}  // namespace ids
}  // namespace ferrolan
