#pragma once
// The simulated receiver as one deterministic state machine: bytes and time
// go in, bytes come out. It plays the running firmware (NMEA or VBI output,
// "$PKRV" and VBI commands), the flash kernel and the boot ROM, and keeps
// what it was sent. The program around it owns the line; tests drive it
// directly.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "sim/boot_rom.h"
#include "sim/command_intake.h"
#include "sim/constellation.h"
#include "sim/flash_kernel.h"
#include "sim/nmea_output.h"

namespace ferrolan::sim {

enum class StartState : uint8_t { Firmware, FlashKernel, BootRom };
enum class Mode : uint8_t { FirmwareNmea, FirmwareVbi, FlashKernel, BootRom };

struct TtffSeconds {
  uint32_t hot = 3, warm = 20, cold = 40;
};

struct ReceiverConfig {
  uint32_t seed = 1;
  Position position;
  int versionMajor = 3, versionMinor = 17;
  StartState start = StartState::Firmware;
  bool startInVbi = false;
  Generation generation = Generation::PII;
  std::string flashChip = "MX29LV400";
  bool kernelInstalled = true;
  bool refuseUpdate = false;
  bool neverAck = false;
  FlashKernel::Timing kernel;
  TtffSeconds ttff;
  uint32_t baud = 9600;
  std::optional<FixKind> forcedFix;  // none: 3D once the time to first fix has passed
  int64_t startUnix = 1767225600;     // UTC at start, 2026-01-01 00:00:00
  std::string storeDir;               // uploads go here; empty = memory only
  bool epochs = true;                 // off while a capture is replayed instead
};

struct StoredImage {
  Section section;
  size_t size;
  std::string path;  // empty when kept in memory only
};

struct ReceiverCounters {
  uint32_t commands = 0;     // distinct commands obeyed or answered
  uint32_t duplicates = 0;   // second copies
  uint32_t ignored = 0;      // well-formed but unknown
  uint32_t ephemerisFrames = 0;
  uint64_t bytesIn = 0;
  uint32_t restarts = 0;
  const char* lastCommand = "none";  // the name of the last one obeyed
};

struct ReceiverCommands;

class Receiver {
 public:
  Receiver(ReceiverConfig cfg, uint32_t now);

  void receive(uint8_t b, uint32_t now);
  void receive(const uint8_t* data, size_t n, uint32_t now);
  void advance(uint32_t now);
  // Moves out what the receiver has put on the line since the last call.
  Bytes takeOutput();
  // How many bytes still wait on the line; epochs are skipped while the
  // line is behind, as a receiver with a slow port does.
  void noteBacklog(size_t bytes) { backlog_ = bytes; }

  uint32_t baud() const;
  Mode mode() const { return mode_; }
  void powerCycle(uint32_t now);

  // Control.
  void setForcedFix(std::optional<FixKind> f) { cfg_.forcedFix = f; }
  void setKernelInstalled(bool on) { cfg_.kernelInstalled = on; }
  void setVersion(int major, int minor) { cfg_.versionMajor = major; cfg_.versionMinor = minor; }
  void setRefuseUpdate(bool on) { cfg_.refuseUpdate = on; }
  void setNeverAck(bool on) { cfg_.neverAck = on; }
  void setGeneration(Generation g) { cfg_.generation = g; }
  void setChip(std::string chip) { cfg_.flashChip = std::move(chip); }
  void setXmodemFaults(const XmodemFaults& f);
  uint32_t kernelBlocksReceiving() const { return mode_ == Mode::FlashKernel ? kernel_.blocksReceiving() : 0; }
  void enterMode(StartState s, uint32_t now);

  FixKind currentFix(uint32_t now) const;
  const ReceiverCounters& counters() const { return counters_; }
  const std::vector<StoredImage>& images() const { return images_; }
  const std::vector<Bytes>& ephemeris() const { return ephemeris_; }
  const OutputRates& rates() const { return rates_; }
  int singleChannel() const { return singleChannel_; }
  uint32_t storedBaud() const { return storedBaud_; }
  const IntakeCounters& intakeCounters() const { return intake_.counters(); }
  // One line of key=value pairs for the control channel.
  std::string stateLine(uint32_t now) const;

 private:
  friend struct ReceiverCommands;  // the command table's handlers
  void handle(const IntakeItem& item, uint32_t now);
  void handleSentence(const std::string& body, uint32_t now);
  void handleFrame(uint16_t id, const Bytes& payload, uint32_t now);
  bool isDuplicate(const IntakeItem& item, uint32_t now);
  void ackSentence(int number);
  void ackFrame(uint16_t id);
  void requestUpdate(Section s, bool viaCommandNoZ, uint32_t now);
  void bootFirmware(uint32_t now);
  void emitEpoch(uint32_t now);
  void storeUpload(const Upload& u);
  void keepEphemeris(uint16_t id, const Bytes& payload);

  ReceiverConfig cfg_;
  Constellation sky_;
  CommandIntake intake_;
  FlashKernel kernel_;
  BootRom rom_;
  XmodemFaults xmodemFaults_;
  Mode mode_ = Mode::FirmwareNmea;
  bool vbiOutput_ = false;
  uint32_t baud_ = 9600;
  uint32_t storedBaud_ = 9600;
  uint32_t bootTick_ = 0;      // start of the time base
  uint32_t firmwareStart_ = 0;  // last firmware boot
  uint32_t nextEpoch_ = 0;
  uint32_t epochCount_ = 0;
  uint32_t fixAt_ = 0;  // the fix is (re)gained at this tick
  int singleChannel_ = 0;
  OutputRates rates_, stagedRates_;
  uint32_t stagedBaud_ = 0;
  bool ephemerisOpen_ = false;
  struct Pending {
    bool active = false;
    uint32_t at = 0;
    std::optional<Section> section;
    bool direct = false;
    std::optional<uint32_t> baud;
  } pending_;
  Bytes lastCommand_;
  uint32_t lastCommandAt_ = 0;
  size_t backlog_ = 0;
  Bytes out_;
  ReceiverCounters counters_;
  std::vector<StoredImage> images_;
  std::vector<Bytes> ephemeris_;
};

}  // namespace ferrolan::sim
