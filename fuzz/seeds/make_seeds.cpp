// Builds each fuzz target's seed corpus from the real captures in
// tests/data/nmea and from the program's own command tables, so the
// fuzzers start from what actually goes over the line rather than from
// nothing. Usage: fuzz_seeds DATA_DIR OUT_DIR; writes OUT_DIR/<target>/.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <span>
#include <string>
#include <tuple>
#include <vector>

#include "link/command_sentences.h"
#include "link/vbi_commands.h"
#include "link/vbi_frame.h"
#include "link/version_query.h"
#include "tests/support/lte_writer.h"
#include "update/xmodem.h"

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

namespace {

// Seeds stay small: libFuzzer takes its input length limit from the largest.
constexpr size_t kMaxSeed = 4096;

struct Capture {
  std::string name;
  Bytes bytes;
  std::vector<Bytes> lines;  // newline included, bytes as captured
};

std::vector<Capture> readCaptures(const fs::path& dir) {
  std::vector<fs::path> files;
  for (const auto& e : fs::directory_iterator(dir))
    if (e.path().extension() == ".nmea") files.push_back(e.path());
  std::sort(files.begin(), files.end());
  std::vector<Capture> out;
  for (const auto& f : files) {
    std::ifstream in(f, std::ios::binary);
    Capture c{f.stem().string(), Bytes(std::istreambuf_iterator<char>(in), {}), {}};
    Bytes line;
    for (uint8_t b : c.bytes) {
      line.push_back(b);
      if (b == '\n') c.lines.push_back(std::move(line)), line.clear();
    }
    if (!line.empty()) c.lines.push_back(std::move(line));
    out.push_back(std::move(c));
  }
  return out;
}

class Corpus {
 public:
  Corpus(const fs::path& root, const std::string& target) : dir_(root / target) {
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void add(const std::string& name, const Bytes& b) {
    if (b.empty() || b.size() > kMaxSeed) return;
    std::ofstream(dir_ / name, std::ios::binary).write(reinterpret_cast<const char*>(b.data()),
                                                      static_cast<std::streamsize>(b.size()));
    ++count_;
  }
  size_t count() const { return count_; }
  const fs::path& dir() const { return dir_; }

 private:
  fs::path dir_;
  size_t count_ = 0;
};

void append(Bytes& to, const Bytes& b) { to.insert(to.end(), b.begin(), b.end()); }
void append(Bytes& to, std::string_view s) { to.insert(to.end(), s.begin(), s.end()); }

// The intake's first byte picks the receiver's start state, kernel and VBI mode.
void commandIntake(const std::vector<Capture>& caps, Corpus& c) {
  const uint8_t configs[] = {0x00, 0x01, 0x02, 0x04, 0x05};
  for (int row = 0; row < ferrolan::kCommandRows; ++row) {
    const std::string s(ferrolan::CommandSentenceTable[static_cast<size_t>(row)].sentence.data());
    if (s.empty() || s[0] != '$') continue;
    for (uint8_t cfg : configs) {
      // Sent as the program does: each copy padded with zeros to a fixed length.
      Bytes b{cfg};
      for (int copy = 0; copy < 2; ++copy) {
        append(b, s);
        b.resize(1 + (copy + 1) * std::max(s.size(), ferrolan::kSentenceSendLength), 0);
      }
      c.add("sentence-" + std::to_string(row) + "-" + std::to_string(cfg), b);
    }
  }
  for (int row = 0; row < ferrolan::kVbiCommandRows; ++row) {
    const auto& r = ferrolan::VbiCommandTable[static_cast<size_t>(row)];
    Bytes b{0x04};
    for (int copy = 0; copy < 2; ++copy) b.insert(b.end(), r.begin(), r.begin() + ferrolan::kVbiCommandSendCount);
    c.add("vbi-" + std::to_string(row), b);
  }
  for (int baud : {4800, 9600, 38400, 115200}) {
    const auto f = ferrolan::vbiBaudRateFrame(baud);
    Bytes b{0x04};
    b.insert(b.end(), f.begin(), f.end());
    c.add("vbi-baud-" + std::to_string(baud), b);
  }
  // Real receivers' sentences: what line noise from a looped-back port looks like.
  for (const auto& cap : caps) {
    for (size_t i = 0; i < cap.lines.size(); ++i) {
      Bytes b{configs[i % std::size(configs)]};
      append(b, cap.lines[i]);
      c.add(cap.name + "-" + std::to_string(i), b);
    }
  }
}

// The parser sees what follows "$PKRV100"; any sentence's tail after its
// address has the same shape.
void versionReply(const std::vector<Capture>& caps, Corpus& c) {
  for (const char* gen : {"PI", "PII"})
    for (int major : {2, 3, 5, 12345}) {
      std::string body = std::string("PKRV100,FERROLAN-SIM,") + gen + "," + std::to_string(major) + ",17,20260101";
      const std::string s = ferrolan::composeSentence("$" + body);
      c.add(std::string("sim-") + gen + "-" + std::to_string(major), Bytes(s.begin() + 8, s.end()));
    }
  for (const auto& cap : caps) {
    for (size_t i = 0; i < cap.lines.size(); ++i) {
      const Bytes& l = cap.lines[i];
      size_t comma = 0;
      while (comma < l.size() && l[comma] != ',') ++comma;
      if (comma == l.size()) continue;
      Bytes tail(l.begin() + static_cast<long>(comma), l.end());
      // The program reads a fixed 128 bytes: the next lines follow the reply.
      for (size_t j = i + 1; j < cap.lines.size() && tail.size() < ferrolan::kVersionReplyBytes; ++j) append(tail, cap.lines[j]);
      c.add(cap.name + "-" + std::to_string(i), tail);
    }
  }
}

Bytes block(uint8_t start, uint8_t number, const uint8_t* data, size_t n, size_t blockSize, uint8_t fill) {
  Bytes b{start, number, static_cast<uint8_t>(0xFF - number)};
  b.insert(b.end(), data, data + n);
  b.resize(3 + blockSize, fill);
  b.push_back(ferrolan::xmodemChecksum(std::span<const uint8_t>(b.data() + 3, blockSize)));
  return b;
}

// Transfers of the captures' bytes as the sender frames them: firmware in
// 1024-byte blocks, loader images in 128-byte blocks, then EOT; one with a
// repeated block and one with a spoilt checksum.
void xmodemBlocks(const std::vector<Capture>& caps, Corpus& c) {
  for (const auto& cap : caps) {
    for (const auto& [start, size, fill] : {std::tuple{ferrolan::xmodem::kStx, ferrolan::xmodem::kFileBlock, uint8_t{0}},
                                            std::tuple{ferrolan::xmodem::kSoh, ferrolan::xmodem::kLoaderBlock,
                                                       ferrolan::xmodem::kSub}}) {
      Bytes transfer, repeated, spoilt;
      const size_t blocks = std::min<size_t>(3, (cap.bytes.size() + size - 1) / size);
      for (size_t i = 0; i < blocks; ++i) {
        const size_t from = i * size, n = std::min(size, cap.bytes.size() - from);
        const Bytes b = block(start, static_cast<uint8_t>(i + 1), cap.bytes.data() + from, n, size, fill);
        append(transfer, b);
        if (i < 2) append(repeated, b);
        if (i == 0) append(repeated, b);
        Bytes bad = b;
        if (i == 1) bad.back() ^= 0x5A;
        append(spoilt, bad);
      }
      transfer.push_back(ferrolan::xmodem::kEot);
      const std::string tag = cap.name + (start == ferrolan::xmodem::kStx ? "-1k" : "-128");
      c.add(tag, transfer);
      c.add(tag + "-repeat", repeated);
      c.add(tag + "-badsum", spoilt);
    }
  }
}

// Ephemeris files as the upload reads them, each after the four bytes of
// a time: one that picks a record, one past them all, one before them.
void lteFiles(const std::vector<Capture>&, Corpus& c) {
  using namespace ferrolan::test;
  constexpr uint32_t t = 1767225611;
  LteBytes strays = lteFrames(2, 40);
  strays.insert(strays.begin() + 48, {0, 0x81});
  const std::vector<std::pair<std::string, LteBytes>> files = {
      {"one", lteFile({lteRecord(t, lteFrames(5, 60))})},
      {"three", lteFile({lteRecord(t - 14400, lteFrames(4, 90)), lteRecord(t, lteFrames(10, 92)),
                         lteRecord(t + 14400, lteFrames(3, 200))})},
      {"strays", lteFile({lteRecord(t, strays)})},
      {"headerless", lteFile({lteRecord(t, lteFrames(3, 30))}, "NO-LINE-FEED-HERE!!")},
  };
  const std::pair<const char*, uint32_t> times[] = {{"now", t + 60}, {"late", t + 40000}, {"early", t - 60}};
  for (const auto& [name, file] : files) {
    for (const auto& [when, time] : times) {
      Bytes b;
      for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(time >> (8 * i)));
      append(b, file);
      c.add(name + "-" + when, b);
    }
  }
}

// The NMEA port's feed: captured text, binary epochs (measurements with
// records, a solution with a fix), and the two interleaved; the first byte
// is the read size.
void nmeaFeed(const std::vector<Capture>& caps, Corpus& c) {
  Bytes meas(38 + 42 * 4, 0), pvt(64, 0);
  meas[10] = 4;
  for (size_t r = 0; r < 4; ++r) meas[38 + 42 * r + 1] = static_cast<uint8_t>(3 * r + 1), meas[38 + 42 * r + 9] = 40;
  pvt[5] = 0x60;
  pvt[44] = 0x77;
  const auto m = ferrolan::makeVbiFrame<8 + 38 + 42 * 4>(120, meas);
  const auto p = ferrolan::makeVbiFrame<8 + 64>(121, pvt);
  Bytes epoch(m.begin(), m.end());
  epoch.insert(epoch.end(), p.begin(), p.end());
  for (uint8_t step : {uint8_t{0}, uint8_t{1}, uint8_t{7}}) {
    Bytes b{step};
    append(b, epoch);
    append(b, epoch);
    c.add("vbi-" + std::to_string(step), b);
  }
  for (const auto& cap : caps) {
    Bytes text{0};
    for (const auto& l : cap.lines)
      if (text.size() + l.size() < kMaxSeed) append(text, l);
    c.add(cap.name, text);
    Bytes mixed{13};
    for (size_t i = 0; i < cap.lines.size() && mixed.size() + 512 < kMaxSeed; ++i) {
      append(mixed, cap.lines[i]);
      if (i % 5 == 0) append(mixed, epoch);
    }
    c.add(cap.name + "-mixed", mixed);
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s DATA_DIR OUT_DIR\n", argv[0]);
    return 2;
  }
  const fs::path data = argv[1], out = argv[2];
  const auto caps = readCaptures(data / "nmea");
  if (caps.empty()) {
    std::fprintf(stderr, "no captures in %s/nmea\n", argv[1]);
    return 1;
  }
  struct Maker {
    const char* target;
    void (*make)(const std::vector<Capture>&, Corpus&);
  };
  for (const Maker& m : {Maker{"sim_command_intake", commandIntake}, Maker{"version_reply_fuzz", versionReply},
                         Maker{"sim_xmodem_receiver", xmodemBlocks}, Maker{"lte_walker_fuzz", lteFiles},
                         Maker{"nmea_feed_fuzz", nmeaFeed}}) {
    Corpus c(out, m.target);
    m.make(caps, c);
    std::printf("%s: %zu seeds from %zu captures\n", m.target, c.count(), caps.size());
    if (c.count() == 0) return 1;
  }
  return 0;
}
