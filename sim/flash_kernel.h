#pragma once
// The receiver's flash kernel: it announces itself with "Z" bytes at
// 115200 baud, shows a text menu on ESC or space, takes a section key and
// "y", and then receives that section by XMODEM. Entered by an update
// command, it goes on to receive the commanded section when no key comes;
// entered at power-up, it boots the firmware instead.

#include <optional>

#include "sim/sections.h"
#include "sim/xmodem_receiver.h"

namespace ferrolan::sim {

struct KernelTexts {
  static const char* menu();
  static const char* prompt(Section s);
  static const char* erasing();
};

class FlashKernel {
 public:
  enum class Entry : uint8_t { PowerUp, Command };
  struct Timing {
    uint32_t announceMs = 12000;  // how long "Z" bytes go out
    uint32_t zIntervalMs = 200;
    bool printsZ = true;
  };

  void enter(Entry entry, std::optional<Section> commanded, const Timing& timing, uint32_t now, Bytes& out);
  void feed(uint8_t b, uint32_t now, Bytes& out);
  void tick(uint32_t now, Bytes& out);
  void setFaults(const XmodemFaults& f) { faults_ = f; xmodem_.setFaults(f); }

  // A finished transfer, once.
  std::optional<Upload> takeUpload();
  // Power-up announcement ended with no key: the firmware should run.
  bool wantsFirmware() const { return bootFirmware_; }
  bool receiving() const { return state_ == State::Receiving; }
  const char* stateName() const;
  // Blocks taken by the transfer under way; 0 when none is.
  uint32_t blocksReceiving() const { return state_ == State::Receiving ? xmodem_.blocksAccepted() : 0; }

 private:
  enum class State : uint8_t { Announce, Menu, Confirm, Receiving };
  void startReceive(Section s, uint32_t now, Bytes& out);

  State state_ = State::Announce;
  Entry entry_ = Entry::PowerUp;
  std::optional<Section> commanded_;
  Section selected_ = Section::Firmware;
  Timing timing_;
  uint32_t enteredAt_ = 0, lastZ_ = 0;
  bool bootFirmware_ = false;
  XmodemFaults faults_;
  XmodemReceiver xmodem_;
  Section receivingSection_ = Section::Firmware;
  std::optional<Upload> upload_;
};

}  // namespace ferrolan::sim
