#include "sim/boot_rom.h"

namespace ferrolan::sim {

namespace {
constexpr uint8_t kEsc = 0x1B;
}

const char* RomTexts::greeting(Generation g) {
  // The program tells the generations apart by "Press ESC" in the first
  // fifteen bytes; the older ROM words its greeting differently.
  return g == Generation::PII ? "\r\nPress ESC to enter I-ROM monitor (PII)\r\n"
                              : "\r\nI-ROM V1.02 (PI) - hit the ESC key to stop booting\r\n";
}

const char* RomTexts::menu() {
  return "\r\n==== I-ROM Monitor ====\r\n"
         "  1 : Download SPRAM loader (XMODEM)\r\n"
         "  2 : Boot from flash\r\n"
         "Select> ";
}

const char* RomTexts::reprompt() { return "\r\nSelect> "; }

const char* RomTexts::download() { return "1\r\nSend the SPRAM loader by XMODEM now...\r\n"; }

std::string RomTexts::loaderBanner(Generation g, const std::string& chip) {
  std::string s = "\r\nSPRAM UPLOAD ALL IMAGE\r\n";
  if (g == Generation::PI) {
    s += "Loader PI V1.06 (2720 bytes)\r\n";
    s += "Clear-NVM ... done\r\n";
  } else {
    s += "Loader PII V2.03 (3576 bytes)\r\n";
    s += "Flash chip: " + chip + "\r\n";
  }
  s += "Erasing flash ... done\r\n";
  s += "Send the all-image by XMODEM now\r\n";
  return s;
}

const char* BootRom::stateName() const {
  switch (state_) {
    case State::Booting: return "booting";
    case State::Greeted: return "greeted";
    case State::Menu: return "menu";
    case State::ReceivingLoader: return "loader-xmodem";
    case State::LoaderReceiving: return "loader-running";
    case State::LoaderFinished: return "loader-finished";
  }
  return "?";
}

void BootRom::powerUp(Generation g, std::string chip, uint32_t now) {
  generation_ = g;
  chip_ = std::move(chip);
  poweredAt_ = now;
  state_ = State::Booting;
  upload_.reset();
  verdict_ = LoaderVerdict::Ok;
}

void BootRom::startXmodem(uint32_t now, Bytes& out) {
  xmodem_ = XmodemReceiver();
  xmodem_.setFaults(faults_);
  xmodem_.start(now, out);
}

void BootRom::feed(uint8_t b, uint32_t now, Bytes& out) {
  switch (state_) {
    case State::Booting:
      return;  // nobody listens before the greeting
    case State::Greeted:
      if (b == kEsc) {
        state_ = State::Menu;
        append(out, RomTexts::menu());
      }
      return;
    case State::Menu:
      if (b == kEsc) {
        append(out, RomTexts::reprompt());
      } else if (b == '1') {
        append(out, RomTexts::download());
        state_ = State::ReceivingLoader;
        startXmodem(now, out);
      }
      return;
    case State::ReceivingLoader:
    case State::LoaderReceiving:
      xmodem_.feed(b, now, out);
      tick(now, out);
      return;
    case State::LoaderFinished:
      return;
  }
}

void BootRom::tick(uint32_t now, Bytes& out) {
  switch (state_) {
    case State::Booting:
      if (now - poweredAt_ >= kGreetingDelayMs) {
        append(out, RomTexts::greeting(generation_));
        state_ = State::Greeted;
      }
      return;
    case State::ReceivingLoader:
      xmodem_.tick(now, out);
      if (xmodem_.status() == XmodemReceiver::Status::Done) {
        verdict_ = checkLoader(xmodem_.data(), generation_);
        if (verdict_ != LoaderVerdict::Ok) {
          append(out, "\r\nLoader rejected: ");
          append(out, verdictText(verdict_));
          append(out, "\r\n");
          append(out, RomTexts::reprompt());
          state_ = State::Menu;
          return;
        }
        upload_ = Upload{Section::Loader, xmodem_.data()};
        append(out, RomTexts::loaderBanner(generation_, chip_));
        state_ = State::LoaderReceiving;
        startXmodem(now, out);
      } else if (xmodem_.status() == XmodemReceiver::Status::Failed) {
        append(out, "\r\nLoader download failed\r\n");
        append(out, RomTexts::reprompt());
        state_ = State::Menu;
      }
      return;
    case State::LoaderReceiving:
      xmodem_.tick(now, out);
      if (xmodem_.finished()) {
        const bool ok =
            xmodem_.status() == XmodemReceiver::Status::Done && xmodem_.data().size() == kAllImageSize;
        append(out, ok ? " - Upload SUCCESS\r\n" : " - Upload FAIL!!!\r\n");
        if (xmodem_.status() == XmodemReceiver::Status::Done)
          upload_ = Upload{Section::AllImage, xmodem_.data()};
        state_ = State::LoaderFinished;
      }
      return;
    case State::Greeted:
    case State::Menu:
    case State::LoaderFinished:
      return;
  }
}

std::optional<Upload> BootRom::takeUpload() {
  std::optional<Upload> u;
  u.swap(upload_);
  return u;
}

}  // namespace ferrolan::sim
