#pragma once
// The "$GP" sentences of one output epoch, built from the sky, the fix and
// the time, and the per-sentence output rates the receiver keeps.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "sim/constellation.h"

namespace ferrolan::sim {

// Sentence kinds by the item numbers the stored-rate sentence uses.
enum class SentenceItem : uint8_t { Rmc = 8, Gga = 9, Gll = 10, Gsa = 11, Gsv = 12, Alm = 13, Vtg = 14, Zda = 15 };
inline constexpr int kFirstItem = 8, kLastItem = 15;

// Output interval per item in seconds; 0 = off.
struct OutputRates {
  std::array<int, kLastItem - kFirstItem + 1> interval{1, 1, 0, 1, 1, 0, 0, 0};
  int& of(SentenceItem i) { return interval[static_cast<size_t>(i) - kFirstItem]; }
  int of(SentenceItem i) const { return interval[static_cast<size_t>(i) - kFirstItem]; }
  bool due(SentenceItem i, uint32_t epoch) const {
    const int n = of(i);
    return n > 0 && epoch % static_cast<uint32_t>(n) == 0;
  }
};

// Rate code of the stored-rate sentence -> interval: 0 off, 4..8 = 1..5 s.
// Answers -1 for a code the receiver does not know.
int intervalForRateCode(int code);

struct Epoch {
  CalendarTime utc;
  FixKind fix = FixKind::None;
  Position position;
  double speedKnots = 0.0;
  double courseDeg = 0.0;
  std::vector<SatelliteView> sky;
};

// The sentences due in epoch number `epoch`, in the order a receiver puts
// them out: GGA, GLL, GSA, GSV group, RMC, VTG, ZDA.
std::vector<std::string> nmeaEpoch(const Epoch& e, const OutputRates& rates, uint32_t epoch);

std::string ggaSentence(const Epoch& e);
std::string gllSentence(const Epoch& e);
std::string gsaSentence(const Epoch& e);
std::vector<std::string> gsvSentences(const Epoch& e);
std::string rmcSentence(const Epoch& e);
std::string vtgSentence(const Epoch& e);
std::string zdaSentence(const Epoch& e);

}  // namespace ferrolan::sim
