#pragma once
// The loader images the boot ROM takes by XMODEM before an all-image
// upload. Their bytes are ours: an honest placeholder with a header the
// simulated boot ROM recognises, the texts the loader prints, and fill.
//
// Layout: offset 0 "FRLD"; 4 generation (1 = PI, 2 = PII); 5 role (1 =
// all-image upload loader); 6 image size, little-endian 16 bits; 8 the
// loader's texts, each zero-terminated, one after another; then fill to the
// exact size.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace ferrolan {

enum class ReceiverGeneration : uint8_t { PI = 1, PII = 2 };

inline constexpr size_t kLoaderImagePISize = 2720;
inline constexpr size_t kLoaderImagePIISize = 3576;
inline constexpr std::array<uint8_t, 4> kLoaderMagic{'F', 'R', 'L', 'D'};
inline constexpr uint8_t kLoaderRoleAllImage = 1;
inline constexpr size_t kLoaderTextsOffset = 8;

extern const std::array<uint8_t, kLoaderImagePISize> LoaderImagePI;
extern const std::array<uint8_t, kLoaderImagePIISize> LoaderImagePII;

std::span<const uint8_t> loaderImage(ReceiverGeneration generation);

// With real hardware the maker's loaders are needed: a file
// <root>/Loaders/LoaderImagePI.bin (or ...PII.bin) is sent in place of the
// built-in image when present, and must have the image's exact size.
inline constexpr const char* kLoaderFolder = "Loaders";
const char* loaderFileName(ReceiverGeneration generation);
size_t loaderImageSize(ReceiverGeneration generation);

struct LoaderChoice {
  std::vector<uint8_t> bytes;  // what to send
  std::string error;           // set when a file is present but unusable
  bool fromFile = false;
};
LoaderChoice chooseLoaderImage(const std::string& root, ReceiverGeneration generation);

struct LoaderHeader {
  ReceiverGeneration generation;
  uint8_t role;
  uint16_t size;
};

// The header of a received image, when it is one of ours and complete.
std::optional<LoaderHeader> readLoaderHeader(std::span<const uint8_t> image);

}  // namespace ferrolan
