#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <filesystem>
#include <fstream>

#include "platform/process.h"
#include "update/loader_images.h"

namespace ferrolan {
namespace {

std::vector<std::string> textsOf(std::span<const uint8_t> image, size_t count) {
  std::vector<std::string> out;
  size_t at = kLoaderTextsOffset;
  for (size_t i = 0; i < count && at < image.size(); ++i) {
    std::string t;
    while (at < image.size() && image[at] != 0) t.push_back(static_cast<char>(image[at++]));
    ++at;
    out.push_back(t);
  }
  return out;
}

TEST(LoaderImages, HeadersNameGenerationRoleAndSizeAndTheTextsFollow) {
  auto pi = readLoaderHeader(LoaderImagePI);
  ASSERT_TRUE(pi);
  EXPECT_EQ(pi->generation, ReceiverGeneration::PI);
  EXPECT_EQ(pi->role, kLoaderRoleAllImage);
  EXPECT_EQ(pi->size, 2720);
  const auto piTexts = textsOf(LoaderImagePI, 5);
  EXPECT_EQ(piTexts[0].rfind("Ferrolan loader PI", 0), 0u) << "a version banner first";
  EXPECT_EQ(std::vector<std::string>(piTexts.begin() + 1, piTexts.end()),
            (std::vector<std::string>{"SPRAM UPLOAD ALL IMAGE", "Clear-NVM", " - Upload SUCCESS", " - Upload FAIL!!!"}));

  auto pii = readLoaderHeader(LoaderImagePII);
  ASSERT_TRUE(pii);
  EXPECT_EQ(pii->generation, ReceiverGeneration::PII);
  EXPECT_EQ(pii->size, 3576);
  EXPECT_EQ(textsOf(LoaderImagePII, 6),
            (std::vector<std::string>{"SPRAM UPLOAD ALL IMAGE", "AM29DL800", "EN29LV400", "MX29LV400",
                                      " - Upload SUCCESS", " - Upload FAIL!!!"}));
  EXPECT_EQ(loaderImage(ReceiverGeneration::PI).data(), LoaderImagePI.data());
  EXPECT_EQ(loaderImage(ReceiverGeneration::PII).size(), 3576u);
}

TEST(LoaderImages, FillUsesEveryByteValueSoTransferFaultsShow) {
  std::array<bool, 256> seen{};
  for (uint8_t b : LoaderImagePII) seen[b] = true;
  EXPECT_TRUE(std::all_of(seen.begin(), seen.end(), [](bool s) { return s; }));
  // The two images differ beyond their headers.
  EXPECT_FALSE(std::equal(LoaderImagePI.begin() + 200, LoaderImagePI.begin() + 400, LoaderImagePII.begin() + 200));
}

TEST(LoaderImages, HeaderReaderRefusesForeignOrCutImages) {
  std::vector<uint8_t> img(LoaderImagePI.begin(), LoaderImagePI.end());
  EXPECT_FALSE(readLoaderHeader(std::span<const uint8_t>(img.data(), 7)));
  EXPECT_FALSE(readLoaderHeader(std::span<const uint8_t>(img.data(), 2000))) << "shorter than its size field";
  // As the boot ROM receives it: padded with 0x1A to whole blocks.
  img.resize(22 * 128, 0x1A);
  EXPECT_TRUE(readLoaderHeader(img));
  img[4] = 3;
  EXPECT_FALSE(readLoaderHeader(img));
  img[4] = 1;
  img[0] = 'f';
  EXPECT_FALSE(readLoaderHeader(img));
}

// The maker's loader, when the user has put one in place, is sent only
// with its exact size; otherwise ours.
TEST(LoaderImages, AMakersFileReplacesTheBuiltInOnlyWithItsExactSize) {
  const std::string root = makeTempDir("ferrolan-loaders-");
  std::filesystem::create_directories(root + "/Loaders");
  struct Row {
    ReceiverGeneration generation;
    long fileSize;  // -1: no file, -2: a folder in its place
    const char* error;
  };
  const Row rows[] = {
      {ReceiverGeneration::PI, -1, ""},
      {ReceiverGeneration::PI, 2720, ""},
      {ReceiverGeneration::PII, 3576, ""},
      {ReceiverGeneration::PI, 2721, "LoaderImagePI.bin: 2721 bytes, not 2720"},
      {ReceiverGeneration::PII, 0, "LoaderImagePII.bin: 0 bytes, not 3576"},
      {ReceiverGeneration::PII, -2, "LoaderImagePII.bin: not a readable file"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.fileSize);
    const std::string path = root + "/Loaders/" + loaderFileName(row.generation);
    std::filesystem::remove_all(path);
    const std::string bytes(row.fileSize > 0 ? static_cast<size_t>(row.fileSize) : 0, '\x5a');
    if (row.fileSize >= 0) std::ofstream(path, std::ios::binary) << bytes;
    if (row.fileSize == -2) std::filesystem::create_directory(path);
    const LoaderChoice c = chooseLoaderImage(root, row.generation);
    EXPECT_EQ(c.error, row.error);
    EXPECT_EQ(c.fromFile, row.fileSize != -1);
    if (!*row.error) {
      const auto builtIn = loaderImage(row.generation);
      const std::vector<uint8_t> want = row.fileSize == -1 ? std::vector<uint8_t>(builtIn.begin(), builtIn.end())
                                                           : std::vector<uint8_t>(bytes.begin(), bytes.end());
      EXPECT_EQ(c.bytes, want);
    } else {
      EXPECT_TRUE(c.bytes.empty());
    }
  }
  removeTree(root);
}

}  // namespace
}  // namespace ferrolan
