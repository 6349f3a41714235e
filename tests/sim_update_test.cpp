// The update paths of the simulated receiver: the flash-kernel menu, the
// XMODEM receiver, the boot ROM and the loader it plays.
#include "sim/loader_check.h"
#include "sim/xmodem_receiver.h"
#include "tests/support/files.h"
#include "tests/support/sim_test_support.h"

using namespace ferrolan;
using namespace ferrolan::sim;
using namespace ferrolan::simtest;

namespace {

// An XMODEM block as the program's senders build it.
Bytes block(uint8_t number, const Bytes& data, size_t size, uint8_t fill) {
  Bytes b{size == 128 ? kSoh : kStx, number, static_cast<uint8_t>(255 - number)};
  uint8_t sum = 0;
  for (size_t i = 0; i < size; ++i) {
    const uint8_t x = i < data.size() ? data[i] : fill;
    b.push_back(x);
    sum = static_cast<uint8_t>(sum + x);
  }
  b.push_back(sum);
  return b;
}

Bytes pattern(size_t n, uint32_t seed) {
  Bytes b(n);
  for (size_t i = 0; i < n; ++i) {
    seed = seed * 1103515245u + 12345u;
    b[i] = static_cast<uint8_t>(seed >> 16);
  }
  return b;
}

struct Feeder {
  Receiver& rx;
  uint32_t& now;
  Bytes afterEot = {};  // the EOT's ACK and what follows it at once
  Bytes send(const Bytes& b, uint32_t settleMs = 20) {
    for (uint8_t x : b) rx.receive(x, now);
    return collect(rx, now, settleMs);
  }
  // Sends data in blocks, one answer per block; answers all the replies.
  std::vector<uint8_t> transfer(const Bytes& data, size_t size, uint8_t fill) {
    std::vector<uint8_t> answers;
    uint8_t n = 0;
    for (size_t off = 0; off < data.size(); off += size) {
      ++n;
      const Bytes part(data.begin() + static_cast<long>(off),
                       data.begin() + static_cast<long>(std::min(data.size(), off + size)));
      const Bytes r = send(block(n, part, size, fill), 0);
      answers.push_back(r.empty() ? 0 : r.back());
    }
    afterEot = send(Bytes{kEot}, 0);
    answers.push_back(afterEot.empty() ? 0 : afterEot.front());
    return answers;
  }
};

// An XMODEM receiver with `faults`, started at tick 0.
XmodemReceiver started(const XmodemFaults& faults = {}) {
  XmodemReceiver x;
  x.setFaults(faults);
  Bytes out;
  x.start(0, out);
  return x;
}

// What the XMODEM receiver answers to `b`, fed at tick `at`.
Bytes answer(XmodemReceiver& x, const Bytes& b, uint32_t at) {
  Bytes out;
  for (uint8_t c : b) x.feed(c, at, out);
  return out;
}

// A receiver without a flash kernel, powered up into its boot ROM.
struct PoweredRom {
  uint32_t now = 0;
  Receiver rx;
  Feeder f{rx, now};
  explicit PoweredRom(Generation g = Generation::PII, std::string chip = ReceiverConfig{}.flashChip)
      : rx(config(g, std::move(chip)), now) {
    rx.powerCycle(now);
  }
  static ReceiverConfig config(Generation g, std::string chip) {
    ReceiverConfig cfg;
    cfg.kernelInstalled = false;
    cfg.generation = g;
    cfg.flashChip = std::move(chip);
    return cfg;
  }
};

Bytes loaderImage(Generation g) {
  const size_t size = g == Generation::PI ? kLoaderSizePI : kLoaderSizePII;
  Bytes b{'F', 'R', 'L', 'D', static_cast<uint8_t>(g), 1, static_cast<uint8_t>(size & 0xFF),
          static_cast<uint8_t>(size >> 8)};
  const std::string texts = std::string("SPRAM UPLOAD ALL IMAGE") + '\0' + " - Upload SUCCESS" + '\0';
  b.insert(b.end(), texts.begin(), texts.end());
  while (b.size() < size) b.push_back(static_cast<uint8_t>(b.size() * 7));
  return b;
}

}  // namespace

TEST(SimXmodem, AcceptsACorrectTransferIn1024And128ByteBlocksWithWrappingNumbers) {
  for (size_t size : {size_t{1024}, size_t{128}}) {
    XmodemReceiver x;
    Bytes out;
    x.start(0, out);
    EXPECT_EQ(out, Bytes(3, kNak));
    // 300 blocks: numbers run 1..255, 0, 1, ...
    const Bytes data = pattern(size * 300, 5);
    uint8_t n = 0;
    for (size_t off = 0; off < data.size(); off += size) {
      const Bytes part(data.begin() + static_cast<long>(off), data.begin() + static_cast<long>(off + size));
      ASSERT_EQ(answer(x, block(++n, part, size, 0), 10), Bytes{kAck}) << "block " << off / size + 1;
    }
    EXPECT_EQ(answer(x, Bytes{kEot}, 20), Bytes{kAck});
    EXPECT_EQ(x.status(), XmodemReceiver::Status::Done);
    EXPECT_EQ(x.data(), data);
  }
}

TEST(SimXmodem, RejectsCorruptBlocksAndStoresARepeatOnce) {
  XmodemReceiver x = started();
  const Bytes a = pattern(128, 1), b = pattern(128, 2);
  Bytes bad = block(1, a, 128, 0x1A), badComplement = block(1, a, 128, 0x1A);
  bad[40] ^= 0x01;  // one bit flipped in the data
  badComplement[2] = 0;
  const struct Row {
    const char* name;
    Bytes block;
    uint32_t at;
    uint8_t reply;
  } rows[] = {
      {"flipped bit", bad, 10, kNak},
      {"bad complement", badComplement, 10, kNak},
      {"block 1", block(1, a, 128, 0x1A), 20, kAck},
      {"block 1 again", block(1, a, 128, 0x1A), 20, kAck},
      {"block 2", block(2, b, 128, 0x1A), 20, kAck},
      {"a block from the future is refused, not stored", block(9, b, 128, 0x1A), 30, kNak},
  };
  for (const Row& r : rows) EXPECT_EQ(answer(x, r.block, r.at), Bytes{r.reply}) << r.name;
  answer(x, Bytes{kEot}, 40);
  Bytes both = a;
  both.insert(both.end(), b.begin(), b.end());
  EXPECT_EQ(x.data(), both);
  EXPECT_EQ(x.duplicates(), 1u);
  EXPECT_EQ(x.rejected(), 3u);
}

TEST(SimXmodem, AsksAgainInBurstsAndDropsAHalfBlockAfterSilence) {
  XmodemReceiver x;
  Bytes out;
  x.start(0, out);
  x.tick(2999, out);
  EXPECT_EQ(out.size(), 3u);
  x.tick(3000, out);
  EXPECT_EQ(out.size(), 6u);
  out.clear();
  const Bytes blk = block(1, pattern(128, 3), 128, 0);
  for (size_t i = 0; i < 50; ++i) x.feed(blk[i], 4000, out);
  x.tick(4999, out);
  EXPECT_TRUE(out.empty());
  x.tick(5000, out);
  EXPECT_EQ(out, Bytes{kNak});
  EXPECT_EQ(answer(x, blk, 6000), Bytes{kAck});
}

TEST(SimXmodem, InjectedAckFaults) {
  XmodemReceiver x = started({.loseAckOfBlock = 2, .corruptAckOfBlock = 3});
  std::vector<Bytes> answers;
  for (uint8_t n = 1; n <= 4; ++n) answers.push_back(answer(x, block(n, pattern(128, n), 128, 0), 10));
  EXPECT_EQ(answers, (std::vector<Bytes>{{kAck}, {}, {0x86}, {kAck}}));
  XmodemReceiver storm = started({.nakStorm = true});
  EXPECT_EQ(answer(storm, block(1, pattern(128, 1), 128, 0), 10), Bytes(16, kNak));
}

TEST(SimFlashKernel, PowerCycleMenuFlowAndFirmwareUploadAreStored) {
  uint32_t now = 1000;
  ReceiverConfig cfg;
  cfg.storeDir = ::testing::TempDir();
  Receiver rx(cfg, now);
  run(rx, now, 2000);
  rx.powerCycle(now);
  EXPECT_EQ(rx.baud(), 115200u);
  EXPECT_GE(count(text(run(rx, now, 1000)), "Z"), 3u);
  Feeder f{rx, now};
  // Two keys bring at least the 320 bytes the program then reads back,
  // four at least 440.
  const std::string two = text(f.send(Bytes{0x1B, ' '}));
  EXPECT_GE(two.size(), 320u);
  EXPECT_NE(two.find("1 : Update Firmware"), std::string::npos);
  const std::string four = text(f.send(Bytes{0x1B, ' ', 0x1B, ' '}));
  EXPECT_GE(four.size(), 440u);
  EXPECT_GE(text(f.send(Bytes{'1'})).size(), 30u);
  const Bytes go = f.send(Bytes{'y'});
  EXPECT_GE(go.size(), 20u);
  EXPECT_EQ(std::count(go.begin(), go.end(), kNak), 3);
  const Bytes image = pattern(1024 * 5 + 300, 11);
  const auto answers = f.transfer(image, 1024, 0);
  for (uint8_t a : answers) { EXPECT_EQ(a, kAck); }
  ASSERT_EQ(rx.images().size(), 1u);
  EXPECT_EQ(rx.images()[0].section, Section::Firmware);
  EXPECT_EQ(rx.images()[0].size, 1024u * 6);
  const std::string state = rx.stateLine(now);
  EXPECT_NE(state.find("image1=firmware:6144:" + rx.images()[0].path), std::string::npos);
  const Bytes back = test::readBytes(rx.images()[0].path);
  ASSERT_EQ(back.size(), 6144u);
  EXPECT_TRUE(std::equal(image.begin(), image.end(), back.begin()));
  EXPECT_TRUE(std::all_of(back.begin() + static_cast<long>(image.size()), back.end(), [](uint8_t b) { return b == 0; }));
}

TEST(SimFlashKernel, WithoutAKeyThePowerUpAnnouncementBootsTheFirmware) {
  uint32_t now = 0;
  ReceiverConfig cfg;
  cfg.kernel.announceMs = 3000;
  Receiver rx(cfg, now);
  rx.powerCycle(now);
  EXPECT_EQ(rx.mode(), Mode::FlashKernel);
  run(rx, now, 3100);
  EXPECT_EQ(rx.mode(), Mode::FirmwareNmea);
  EXPECT_EQ(rx.baud(), 9600u);
  for (const auto& s : sentencesOf(text(run(rx, now, 2000)))) { EXPECT_TRUE(s.checksumOk); }
}

TEST(SimBootRom, GreetingTellsTheGenerationsApart) {
  for (Generation g : {Generation::PI, Generation::PII}) {
    PoweredRom b(g);
    EXPECT_EQ(b.rx.mode(), Mode::BootRom);
    const std::string greeting = text(run(b.rx, b.now, 1000));
    ASSERT_GE(greeting.size(), 15u);
    const bool early = greeting.substr(0, 15).find("Press ESC") != std::string::npos;
    EXPECT_EQ(early, g == Generation::PII);
  }
}

TEST(SimBootRom, LoaderThenAllImageForEachGeneration) {
  for (Generation g : {Generation::PI, Generation::PII}) {
    for (bool fullImage : {true, false}) {
      PoweredRom b(g, "EN29LV400");
      auto& [now, rx, f] = b;
      run(rx, now, 1000);
      // Nine ESC keys bring the 120 bytes the program reads back.
      EXPECT_GE(f.send(Bytes(9, 0x1B)).size(), 120u);
      const Bytes one = f.send(Bytes{'1'});
      EXPECT_GE(one.size(), 40u);
      EXPECT_EQ(one.back(), kNak);
      for (uint8_t a : f.transfer(loaderImage(g), 128, 0x1A)) { EXPECT_EQ(a, kAck); }
      const std::string banner = text(f.afterEot) + text(run(rx, now, 20));
      EXPECT_NE(banner.find("SPRAM UPLOAD ALL IMAGE"), std::string::npos);
      EXPECT_EQ(banner.find("Clear-NVM") != std::string::npos, g == Generation::PI);
      EXPECT_EQ(banner.find("EN29LV400") != std::string::npos, g == Generation::PII);
      EXPECT_GE(banner.size() - 4, 120u);  // between the ACK and the NAK burst
      const Bytes all = pattern(fullImage ? kAllImageSize : kAllImageSize - 4096, 8);
      for (uint8_t a : f.transfer(all, 1024, 0)) { EXPECT_EQ(a, kAck); }
      const std::string verdict = text(f.afterEot) + text(run(rx, now, 20));
      EXPECT_NE(verdict.find(fullImage ? " - Upload SUCCESS" : " - Upload FAIL!!!"), std::string::npos);
      EXPECT_NE(rx.stateLine(now).find(fullImage ? "kernel=on" : "kernel=off"), std::string::npos);
    }
  }
}

TEST(SimBootRom, AnUnrecognisedLoaderIsRefusedAndTheRomStays) {
  EXPECT_EQ(checkLoader(loaderImage(Generation::PI), Generation::PII), LoaderVerdict::WrongGeneration);
  Bytes padded = loaderImage(Generation::PII);
  padded.resize(3584, 0x1A);
  EXPECT_EQ(checkLoader(padded, Generation::PII), LoaderVerdict::Ok);
  Bytes unpadded = loaderImage(Generation::PII);
  EXPECT_EQ(checkLoader(unpadded, Generation::PII), LoaderVerdict::WrongSize);
  Bytes wrongSize = padded;
  wrongSize[6] = 0xA0;  // 2720 in a PII header
  wrongSize[7] = 0x0A;
  EXPECT_EQ(checkLoader(wrongSize, Generation::PII), LoaderVerdict::WrongSize);
  Bytes wrongGen = padded;
  wrongGen[4] = 1;
  EXPECT_EQ(checkLoader(wrongGen, Generation::PII), LoaderVerdict::WrongGeneration);
  Bytes badFill = padded;
  badFill.back() = 0;
  EXPECT_EQ(checkLoader(badFill, Generation::PII), LoaderVerdict::BadFill);
  EXPECT_EQ(checkLoader(Bytes(5, 'F'), Generation::PII), LoaderVerdict::TooShort);

  PoweredRom b;
  auto& [now, rx, f] = b;
  run(rx, now, 1000);
  f.send(Bytes{0x1B, '1'});
  f.transfer(pattern(kLoaderSizePII, 4), 128, 0x1A);
  const std::string reply = text(f.afterEot) + text(run(rx, now, 20));
  EXPECT_NE(reply.find("Loader rejected"), std::string::npos);
  EXPECT_EQ(reply.find("SPRAM"), std::string::npos);
  EXPECT_EQ(rx.mode(), Mode::BootRom);
  // It takes "1" again.
  EXPECT_EQ(f.send(Bytes{'1'}).back(), kNak);
}
