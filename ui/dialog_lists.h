#pragma once
// The lists that several dialogs fill, in the order they show them.

#include <array>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "platform/line_speeds.h"
#include "ui/ui_model.h"

namespace ferrolan {

inline constexpr std::string_view kPortList[] = {"COM1:", "COM2:", "COM3:", "COM4:", "COM5:",
                                                 "COM6:", "COM7:", "COM8:", "COM9:", "COM0:"};
inline constexpr auto kBaudList = [] {
  std::array<std::string_view, kLineSpeeds.size()> texts{};
  for (size_t i = 0; i < texts.size(); ++i) texts[i] = kLineSpeeds[i].text;
  return texts;
}();
inline constexpr std::string_view kRateList[] = {"OFF", "1   Hz", "1/2 Hz", "1/3 Hz", "1/4 Hz", "1/5 Hz"};

template <typename Texts>
std::vector<std::string> listOf(const Texts& texts) {
  return {std::begin(texts), std::end(texts)};
}

inline bool sameIgnoringCase(std::string_view a, std::string_view b) {
  auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (lower(a[i]) != lower(b[i])) return false;
  return true;
}

// The entry whose whole text equals `text`, letter case ignored, or -1.
inline int findEntry(const std::vector<std::string>& items, const std::string& text) {
  for (size_t i = 0; i < items.size(); ++i)
    if (sameIgnoringCase(items[i], text)) return static_cast<int>(i);
  return -1;
}

inline void fillList(UiModel& ui, WindowId w, int box, std::vector<std::string> items, int selection) {
  ui.setItems(w, box, std::move(items));
  if (selection >= 0) ui.setSelection(w, box, selection);
}

}  // namespace ferrolan
