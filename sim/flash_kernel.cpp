#include "sim/flash_kernel.h"

namespace ferrolan::sim {

namespace {
constexpr uint8_t kEsc = 0x1B;
}

// The menu goes out once per ESC or space, so the few keys the program
// sends bring at least as many bytes as it then reads back.
const char* KernelTexts::menu() {
  return "\r\n==== Flash Kernel V2.10 ====\r\n"
         "  0 : Update Flash Kernel\r\n"
         "  1 : Update Firmware (AP)\r\n"
         "  9 : Update FSA\r\n"
         "  b : Update All-Image\r\n"
         "  ESC/SPACE : show this menu\r\n"
         "Select> ";
}

const char* KernelTexts::prompt(Section s) {
  switch (s) {
    case Section::FlashKernel: return "\r\nUpdate Flash Kernel?  Press y to go on: ";
    case Section::Firmware: return "\r\nUpdate Firmware (AP)?  Press y to go on: ";
    case Section::Fsa: return "\r\nUpdate FSA?  Press y to go on: ";
    case Section::AllImage: return "\r\nUpdate All-Image?  Press y to go on: ";
    case Section::Loader: break;
  }
  return "\r\n?";
}

const char* KernelTexts::erasing() { return "y\r\nErasing flash... done\r\nStart XMODEM send now\r\n"; }

const char* FlashKernel::stateName() const {
  switch (state_) {
    case State::Announce: return "announce";
    case State::Menu: return "menu";
    case State::Confirm: return "confirm";
    case State::Receiving: return "xmodem";
  }
  return "?";
}

void FlashKernel::enter(Entry entry, std::optional<Section> commanded, const Timing& timing, uint32_t now,
                        Bytes& out) {
  entry_ = entry;
  commanded_ = commanded;
  timing_ = timing;
  enteredAt_ = now;
  lastZ_ = now;
  bootFirmware_ = false;
  upload_.reset();
  state_ = State::Announce;
  if (entry == Entry::Command && commanded && !timing.printsZ) {
    startReceive(*commanded, now, out);
    return;
  }
  if (timing_.printsZ) out.push_back('Z');
}

void FlashKernel::startReceive(Section s, uint32_t now, Bytes& out) {
  state_ = State::Receiving;
  receivingSection_ = s;
  xmodem_ = XmodemReceiver();
  xmodem_.setFaults(faults_);
  xmodem_.start(now, out);
}

void FlashKernel::feed(uint8_t b, uint32_t now, Bytes& out) {
  if (state_ == State::Receiving) {
    xmodem_.feed(b, now, out);
    tick(now, out);
    return;
  }
  if (b == kEsc || b == ' ') {
    state_ = State::Menu;
    append(out, KernelTexts::menu());
    return;
  }
  if (state_ == State::Announce && entry_ == Entry::PowerUp) {
    // Only ESC or space stops the boot; other keys are ignored here.
    return;
  }
  std::optional<Section> pick;
  switch (b) {
    case '0': pick = Section::FlashKernel; break;
    case '1': pick = Section::Firmware; break;
    case '9': pick = Section::Fsa; break;
    case 'b': pick = Section::AllImage; break;
    default: break;
  }
  if (pick && state_ != State::Announce) {
    selected_ = *pick;
    state_ = State::Confirm;
    out.push_back(b);
    append(out, KernelTexts::prompt(*pick));
    return;
  }
  if (b == 'y' && state_ == State::Confirm) {
    append(out, KernelTexts::erasing());
    startReceive(selected_, now, out);
  }
}

void FlashKernel::tick(uint32_t now, Bytes& out) {
  switch (state_) {
    case State::Announce:
      if (now - enteredAt_ >= timing_.announceMs) {
        if (entry_ == Entry::Command && commanded_) {
          startReceive(*commanded_, now, out);
        } else {
          bootFirmware_ = true;
        }
        return;
      }
      if (timing_.printsZ && now - lastZ_ >= timing_.zIntervalMs) {
        lastZ_ = now;
        out.push_back('Z');
      }
      return;
    case State::Receiving:
      xmodem_.tick(now, out);
      if (xmodem_.status() == XmodemReceiver::Status::Done) {
        upload_ = Upload{receivingSection_, xmodem_.data()};
        append(out, "\r\nUpdate OK\r\n");
        state_ = State::Menu;
      } else if (xmodem_.status() == XmodemReceiver::Status::Failed) {
        append(out, "\r\nUpdate FAIL\r\n");
        state_ = State::Menu;
      }
      return;
    case State::Menu:
    case State::Confirm:
      return;
  }
}

std::optional<Upload> FlashKernel::takeUpload() {
  std::optional<Upload> u;
  u.swap(upload_);
  return u;
}

}  // namespace ferrolan::sim
