#include "sim/loader_check.h"

namespace ferrolan::sim {

std::string_view sectionName(Section s) {
  switch (s) {
    case Section::FlashKernel: return "flash-kernel";
    case Section::Firmware: return "firmware";
    case Section::Fsa: return "fsa";
    case Section::AllImage: return "all-image";
    case Section::Loader: return "loader";
  }
  return "unknown";
}

std::string_view generationName(Generation g) { return g == Generation::PI ? "PI" : "PII"; }

LoaderVerdict checkLoader(std::span<const uint8_t> received, Generation rom) {
  if (received.size() < kLoaderHeader) return LoaderVerdict::TooShort;
  if (received[0] != 'F' || received[1] != 'R' || received[2] != 'L' || received[3] != 'D')
    return LoaderVerdict::BadMagic;
  if (received[4] != static_cast<uint8_t>(rom)) return LoaderVerdict::WrongGeneration;
  if (received[5] != kLoaderRoleAllImage) return LoaderVerdict::WrongRole;
  const size_t size = getLe16(received, 6);
  const size_t expected = rom == Generation::PI ? kLoaderSizePI : kLoaderSizePII;
  const size_t rounded = (expected + 127) / 128 * 128;
  if (size != expected || received.size() != rounded) return LoaderVerdict::WrongSize;
  for (size_t i = size; i < received.size(); ++i)
    if (received[i] != 0x1A) return LoaderVerdict::BadFill;
  return LoaderVerdict::Ok;
}

std::string_view verdictText(LoaderVerdict v) {
  switch (v) {
    case LoaderVerdict::Ok: return "ok";
    case LoaderVerdict::TooShort: return "too short";
    case LoaderVerdict::BadMagic: return "not a loader";
    case LoaderVerdict::WrongGeneration: return "built for the other generation";
    case LoaderVerdict::WrongRole: return "not an all-image loader";
    case LoaderVerdict::WrongSize: return "wrong size";
    case LoaderVerdict::BadFill: return "bad fill";
  }
  return "?";
}

}  // namespace ferrolan::sim
