#include "update/loader_images.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string_view>

#include "core/bytes.h"

namespace ferrolan {

namespace {

template <size_t N, size_t K>
constexpr std::array<uint8_t, N> buildLoader(ReceiverGeneration generation,
                                             const std::array<std::string_view, K>& texts) {
  std::array<uint8_t, N> image{};
  for (size_t i = 0; i < kLoaderMagic.size(); ++i) image[i] = kLoaderMagic[i];
  image[4] = static_cast<uint8_t>(generation);
  image[5] = kLoaderRoleAllImage;
  putLe16(image, 6, static_cast<uint16_t>(N));
  size_t at = kLoaderTextsOffset;
  for (std::string_view t : texts) {
    for (char c : t) image[at++] = static_cast<uint8_t>(c);
    image[at++] = 0;
  }
  // Fill from a fixed linear congruential sequence: every byte value
  // occurs, so a transfer that mangles any value is caught.
  uint32_t state = 0x46524C44u + static_cast<uint32_t>(generation);
  for (; at < N; ++at) {
    state = state * 1664525u + 1013904223u;
    image[at] = static_cast<uint8_t>(state >> 24);
  }
  return image;
}

constexpr std::array<std::string_view, 5> kTextsPI{
    "Ferrolan loader PI 1.0", "SPRAM UPLOAD ALL IMAGE", "Clear-NVM", " - Upload SUCCESS", " - Upload FAIL!!!"};
constexpr std::array<std::string_view, 6> kTextsPII{"SPRAM UPLOAD ALL IMAGE", "AM29DL800",         "EN29LV400",
                                                    "MX29LV400",              " - Upload SUCCESS", " - Upload FAIL!!!"};

constexpr auto kPI = buildLoader<kLoaderImagePISize>(ReceiverGeneration::PI, kTextsPI);
constexpr auto kPII = buildLoader<kLoaderImagePIISize>(ReceiverGeneration::PII, kTextsPII);

static_assert(kPI.size() == 2720 && kPII.size() == 3576);
static_assert(kPI[0] == 'F' && kPI[1] == 'R' && kPI[2] == 'L' && kPI[3] == 'D');
static_assert(kPI[4] == 1 && kPI[5] == 1 && getLe16(kPI, 6) == 2720);
static_assert(kPII[0] == 'F' && kPII[3] == 'D' && kPII[4] == 2 && kPII[5] == 1 && getLe16(kPII, 6) == 3576);
static_assert(kPI[kLoaderTextsOffset] == 'F' && kPII[kLoaderTextsOffset] == 'S');

}  // namespace

const std::array<uint8_t, kLoaderImagePISize> LoaderImagePI = kPI;
const std::array<uint8_t, kLoaderImagePIISize> LoaderImagePII = kPII;

std::span<const uint8_t> loaderImage(ReceiverGeneration generation) {
  if (generation == ReceiverGeneration::PII) return LoaderImagePII;
  return LoaderImagePI;
}

const char* loaderFileName(ReceiverGeneration generation) {
  return generation == ReceiverGeneration::PII ? "LoaderImagePII.bin" : "LoaderImagePI.bin";
}

size_t loaderImageSize(ReceiverGeneration generation) { return loaderImage(generation).size(); }

LoaderChoice chooseLoaderImage(const std::string& root, ReceiverGeneration generation) {
  namespace fs = std::filesystem;
  LoaderChoice c;
  const fs::path path = fs::path(root) / kLoaderFolder / loaderFileName(generation);
  std::error_code ec;
  if (!fs::exists(path, ec)) {
    const auto image = loaderImage(generation);
    c.bytes.assign(image.begin(), image.end());
    return c;
  }
  c.fromFile = true;
  const size_t want = loaderImageSize(generation);
  const bool regular = fs::is_regular_file(path, ec);
  const auto size = regular ? fs::file_size(path, ec) : 0;
  if (!regular || ec) {
    c.error = std::string(loaderFileName(generation)) + ": not a readable file";
    return c;
  }
  if (size != want) {
    c.error = std::string(loaderFileName(generation)) + ": " + std::to_string(size) + " bytes, not " +
              std::to_string(want);
    return c;
  }
  std::ifstream in(path, std::ios::binary);
  c.bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  if (c.bytes.size() != want) {
    c.bytes.clear();
    c.error = std::string(loaderFileName(generation)) + ": read failed";
  }
  return c;
}

std::optional<LoaderHeader> readLoaderHeader(std::span<const uint8_t> image) {
  if (image.size() < kLoaderTextsOffset) return std::nullopt;
  for (size_t i = 0; i < kLoaderMagic.size(); ++i) {
    if (image[i] != kLoaderMagic[i]) return std::nullopt;
  }
  const uint8_t gen = image[4];
  if (gen != 1 && gen != 2) return std::nullopt;
  const uint16_t size = getLe16(image, 6);
  if (size > image.size()) return std::nullopt;
  return LoaderHeader{static_cast<ReceiverGeneration>(gen), image[5], size};
}

}  // namespace ferrolan
