#pragma once
// The line speeds the receiver and this program know, with everything that
// names one: its text in the lists, the rate code of the binary baud-rate
// frame, the code of the receiver's stored-baud sentence, and the menu
// command that picks it. The serial port accepts exactly these rates.

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace ferrolan {

struct LineSpeed {
  uint32_t baud;
  std::string_view text;
  uint8_t frameCode;   // the binary baud-rate frame's rate code
  uint8_t storedCode;  // "$PKRV09,2,<code>": the rate the receiver keeps
  int commandId;       // the Baud Rate menu command
};

inline constexpr std::array<LineSpeed, 6> kLineSpeeds = {{
    {4800, "4800", 0x21, 1, 40015},
    {9600, "9600", 0x29, 2, 40016},
    {19200, "19200", 0x31, 4, 40017},
    {38400, "38400", 0x39, 6, 40018},
    {57600, "57600", 0x41, 7, 40019},
    {115200, "115200", 0x49, 8, 40020},
}};

// The rate the firmware paths talk at once the receiver is in download mode.
inline constexpr uint32_t kUpdateBaud = 115200;

constexpr const LineSpeed* lineSpeedFor(uint32_t baud) {
  for (const LineSpeed& s : kLineSpeeds)
    if (s.baud == baud) return &s;
  return nullptr;
}
constexpr const LineSpeed* lineSpeedForFrameCode(uint8_t code) {
  for (const LineSpeed& s : kLineSpeeds)
    if (s.frameCode == code) return &s;
  return nullptr;
}
constexpr const LineSpeed* lineSpeedForStoredCode(int code) {
  for (const LineSpeed& s : kLineSpeeds)
    if (s.storedCode == code) return &s;
  return nullptr;
}

namespace lineSpeedChecks {
constexpr bool textMatchesBaud(const LineSpeed& s) {
  uint32_t v = 0;
  for (char c : s.text) v = v * 10 + static_cast<uint32_t>(c - '0');
  return v == s.baud;
}
constexpr bool tableIsSound() {
  for (size_t i = 0; i < kLineSpeeds.size(); ++i) {
    const LineSpeed& s = kLineSpeeds[i];
    if (!textMatchesBaud(s)) return false;
    // Menu commands run in the table's order, one id apart.
    if (s.commandId != kLineSpeeds[0].commandId + static_cast<int>(i)) return false;
    if (i > 0 && s.baud <= kLineSpeeds[i - 1].baud) return false;
  }
  return true;
}
static_assert(tableIsSound());
static_assert(lineSpeedFor(kUpdateBaud)->baud == kUpdateBaud);
}  // namespace lineSpeedChecks

}  // namespace ferrolan
