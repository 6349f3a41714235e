#pragma once
// The receiver's boot ROM, reached by a power cycle when no flash kernel
// answers: a greeting ("Press ESC" early on for PII, not for PI), a small
// menu on ESC, "1" to download a loader by XMODEM, a check of that loader,
// and then the loader itself, which receives the all-image by XMODEM.

#include <optional>
#include <string>

#include "sim/loader_check.h"
#include "sim/sections.h"
#include "sim/xmodem_receiver.h"

namespace ferrolan::sim {

struct RomTexts {
  static const char* greeting(Generation g);
  static const char* menu();
  static const char* reprompt();
  static const char* download();
  static std::string loaderBanner(Generation g, const std::string& chip);
};

class BootRom {
 public:
  static constexpr uint32_t kGreetingDelayMs = 300;

  void powerUp(Generation g, std::string chip, uint32_t now);
  void feed(uint8_t b, uint32_t now, Bytes& out);
  void tick(uint32_t now, Bytes& out);
  void setFaults(const XmodemFaults& f) { faults_ = f; }

  std::optional<Upload> takeUpload();
  const char* stateName() const;
  LoaderVerdict lastVerdict() const { return verdict_; }

 private:
  enum class State : uint8_t { Booting, Greeted, Menu, ReceivingLoader, LoaderReceiving, LoaderFinished };
  void startXmodem(uint32_t now, Bytes& out);

  State state_ = State::Booting;
  Generation generation_ = Generation::PII;
  std::string chip_;
  uint32_t poweredAt_ = 0;
  XmodemFaults faults_;
  XmodemReceiver xmodem_;
  LoaderVerdict verdict_ = LoaderVerdict::Ok;
  std::optional<Upload> upload_;
};

}  // namespace ferrolan::sim
