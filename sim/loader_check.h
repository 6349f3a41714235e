#pragma once
// Recognises the loader images the program uploads to the boot ROM:
// "FRLD", generation byte, role byte, little-endian size, the loader's
// texts, fill to the size; received in 128-byte blocks padded with 0x1A.

#include <cstdint>
#include <span>
#include <string_view>

#include "sim/sections.h"

namespace ferrolan::sim {

inline constexpr size_t kLoaderSizePI = 2720;
inline constexpr size_t kLoaderSizePII = 3576;
inline constexpr uint8_t kLoaderRoleAllImage = 1;
inline constexpr size_t kLoaderHeader = 8;

enum class LoaderVerdict : uint8_t { Ok, TooShort, BadMagic, WrongGeneration, WrongRole, WrongSize, BadFill };

LoaderVerdict checkLoader(std::span<const uint8_t> received, Generation rom);
std::string_view verdictText(LoaderVerdict v);

}  // namespace ferrolan::sim
