#pragma once
// The lists that several dialogs fill, in the order they show them.

#include <array>
#include <string_view>

#include "platform/line_speeds.h"

namespace ferrolan {

inline constexpr std::string_view kPortList[] = {"COM1:", "COM2:", "COM3:", "COM4:", "COM5:",
                                                 "COM6:", "COM7:", "COM8:", "COM9:", "COM0:"};
inline constexpr auto kBaudList = [] {
  std::array<std::string_view, kLineSpeeds.size()> texts{};
  for (size_t i = 0; i < texts.size(); ++i) texts[i] = kLineSpeeds[i].text;
  return texts;
}();
inline constexpr std::string_view kRateList[] = {"OFF", "1   Hz", "1/2 Hz", "1/3 Hz", "1/4 Hz", "1/5 Hz"};

}  // namespace ferrolan
