// The stream framer on its own: bytes in, NMEA lines or VBI frames out.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "datapath/stream_framer.h"

namespace ferrolan {
namespace {

std::vector<std::string> linesOf(LineFramer& f, const std::string& bytes) {
  std::vector<std::string> out;
  for (char c : bytes) f.take(static_cast<uint8_t>(c), [&](std::string_view l) { out.emplace_back(l); });
  return out;
}

struct LineCase {
  const char* name;
  std::string bytes;
  std::vector<std::string> lines;
  std::string pending;
};

TEST(LineFramer, EmitsEachLineWhenTheNextDollarArrives) {
  const std::string longRun(5000, 'x');
  const LineCase cases[] = {
      {"first dollar only synchronises", "noise$GPGGA,1*5A\r\n", {}, "$GPGGA,1*5A\r\n"},
      {"CR LF becomes one LF", "$GPGGA,1*5A\r\n$GPRMC,2*00\r\n$G",
       {"$GPGGA,1*5A\n", "$GPRMC,2*00\n"}, "$G"},
      {"a bare LF end loses the character before it", "$A\n$", {"$\n"}, "$"},
      {"NUL bytes add nothing", std::string("$GP\0GGA\r\n$", 10), {"$GPGGA\n"}, "$"},
      {"two dollars in a row", "$$$X", {"$", "$"}, "$X"},
      // The 4096th byte empties the line; gathering goes on without a "$".
      {"overlong line is cut and refilled", "$" + longRun + "$",
       {std::string(5000 - 4095 - 2, 'x') + "\n"}, "$"},
      {"a line emptied right before the dollar emits nothing", "$" + std::string(4095, 'x') + "$", {}, "$"},
  };
  for (const LineCase& c : cases) {
    LineSync sync;
    LineFramer f(sync);
    EXPECT_EQ(linesOf(f, c.bytes), c.lines) << c.name;
    EXPECT_EQ(f.pending(), c.pending) << c.name;
  }
}

TEST(LineFramer, ClearedFlagsResynchroniseOnTheNextDollar) {
  LineSync sync;
  LineFramer f(sync);
  EXPECT_EQ(linesOf(f, "$A\r\n$B\r\n"), std::vector<std::string>{"$A\n"});
  // A mode switch clears both flags: the line in hand is dropped by the next "$".
  sync.sentenceOpen = false;
  sync.sentenceSynced = false;
  EXPECT_TRUE(linesOf(f, "junk$C\r\n").empty());
  EXPECT_EQ(linesOf(f, "$"), std::vector<std::string>{"$C\n"});
}

struct Handed {
  std::vector<uint8_t> bytes;  // the collected part: length + 5 bytes
  int32_t length;
};

std::vector<uint8_t> hex(std::initializer_list<int> v) { return {v.begin(), v.end()}; }
std::vector<uint8_t> operator+(std::vector<uint8_t> a, const std::vector<uint8_t>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}
std::vector<uint8_t> filler(size_t n, uint8_t from = 0) {
  std::vector<uint8_t> v(n);
  for (size_t i = 0; i < n; ++i) v[i] = static_cast<uint8_t>((from + i) % 0x80);  // never 0x81
  return v;
}

struct FrameCase {
  const char* name;
  std::vector<uint8_t> bytes;
  std::vector<Handed> frames;
  std::vector<uint8_t> ids;
};

TEST(FrameCollector, HandsOnEachFrameAtTheNextMarker) {
  const auto fifty = filler(50, 1);
  const FrameCase cases[] = {
      {"a frame from id to the next marker",
       hex({0x81, 0xFF, 0x78}) + fifty + hex({0x81, 0xFF, 0x79}),
       {{hex({0x78}) + fifty + hex({0x81, 0xFF}), 48}},
       {0x78, 0x79}},
      {"the first marker hands nothing; back to back markers", hex({0x81, 0xFF, 1, 0x81, 0xFF, 2, 0x81, 0xFF}),
       {{hex({1, 0x81, 0xFF}), -2}, {hex({2, 0x81, 0xFF}), -2}},
       {1, 2}},
      {"0x81 0x81 0xFF is no marker", hex({0x81, 0xFF, 5, 0x81, 0x81, 0xFF, 6, 0x81, 0xFF, 7}),
       {{hex({5, 0x81, 0x81, 0xFF, 6, 0x81, 0xFF}), 2}},
       {5, 7}},
      {"an id byte of 0x81 starts no marker", hex({0x81, 0xFF, 0x81, 0xFF, 9, 0x81, 0xFF}),
       {{hex({0x81, 0xFF, 9, 0x81, 0xFF}), 0}},
       {0x81}},
      // 1025 bytes are held; the next abandons the frame, and the marker
      // after it only opens a new one.
      {"overlong frame is abandoned", hex({0x81, 0xFF, 0x78}) + filler(1100) + hex({0x81, 0xFF, 0x79, 3, 0x81, 0xFF}),
       {{hex({0x79, 3, 0x81, 0xFF}), -1}},
       {0x78, 0x79}},
      {"the 1026th byte is one too many", hex({0x81, 0xFF, 0x78}) + filler(1023) + hex({0x81, 0xFF, 0x79, 0x81, 0xFF}),
       {{hex({0x79, 0x81, 0xFF}), -2}},
       {0x78, 0x79}},
      {"1025 bytes still fit", hex({0x81, 0xFF, 0x78}) + filler(1022) + hex({0x81, 0xFF}),
       {{hex({0x78}) + filler(1022) + hex({0x81, 0xFF}), 1020}},
       {0x78}},
  };
  for (const FrameCase& c : cases) {
    FrameCollector f;
    std::vector<Handed> frames;
    std::vector<uint8_t> ids;
    for (uint8_t b : c.bytes) {
      const auto step = f.take(b, [&](std::span<const uint8_t, kFrameWindow> w, int32_t length) {
        const size_t held = static_cast<size_t>(std::max(0, length + 5));
        frames.push_back({std::vector<uint8_t>(w.begin(), w.begin() + static_cast<long>(held)), length});
        // Nothing of an earlier, longer frame shows past this one.
        for (size_t i = held; i < w.size(); ++i) ASSERT_EQ(w[i], 0) << c.name << " at " << i;
      });
      if (step == FrameCollector::Step::IdByte) ids.push_back(b);
    }
    ASSERT_EQ(frames.size(), c.frames.size()) << c.name;
    for (size_t i = 0; i < frames.size(); ++i) {
      EXPECT_EQ(frames[i].length, c.frames[i].length) << c.name;
      EXPECT_EQ(frames[i].bytes, c.frames[i].bytes) << c.name;
    }
    EXPECT_EQ(ids, c.ids) << c.name;
  }
}

}  // namespace
}  // namespace ferrolan
