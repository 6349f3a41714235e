#pragma once
// Names shared by the receiver's personalities: its generation, the flash
// sections an upload can target, and a finished upload.

#include <cstdint>
#include <string>
#include <string_view>

#include "sim/wire.h"

namespace ferrolan::sim {

enum class Generation : uint8_t { PI = 1, PII = 2 };
enum class Section : uint8_t { FlashKernel, Firmware, Fsa, AllImage, Loader };

inline constexpr size_t kAllImageSize = 524288;
inline constexpr uint32_t kKernelBaud = 115200;

std::string_view sectionName(Section s);  // "flash-kernel", "firmware", ...
std::string_view generationName(Generation g);

struct Upload {
  Section section = Section::Firmware;
  Bytes data;
};

}  // namespace ferrolan::sim
