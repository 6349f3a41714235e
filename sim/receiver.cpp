#include "sim/receiver.h"

#include <cstdio>
#include <fstream>

#include "platform/line_speeds.h"
#include "sim/vbi_output.h"

namespace ferrolan::sim {

namespace {

constexpr uint32_t kDuplicateWindowMs = 1500;  // the second copy follows the first at once
constexpr uint32_t kTransitionMs = 300;        // the firmware finishes its reply before it leaves
constexpr uint32_t kFirstEpochMs = 500;
constexpr size_t kMaxKeptEphemeris = 4096;

bool reached(uint32_t now, uint32_t at) { return static_cast<int32_t>(now - at) >= 0; }

// Decimal text to int; nullopt for anything else, including an empty text.
std::optional<int> number(std::string_view s) {
  if (s.empty() || s.size() > 6) return std::nullopt;
  int v = 0;
  for (char c : s) {
    if (c < '0' || c > '9') return std::nullopt;
    v = v * 10 + (c - '0');
  }
  return v;
}

std::vector<std::string_view> splitFields(std::string_view s) {
  std::vector<std::string_view> f;
  size_t start = 0;
  for (;;) {
    const size_t comma = s.find(',', start);
    f.push_back(s.substr(start, comma == std::string_view::npos ? std::string_view::npos : comma - start));
    if (comma == std::string_view::npos) break;
    start = comma + 1;
  }
  return f;
}

std::optional<uint32_t> storedBaudForCode(int code) {
  if (const LineSpeed* s = lineSpeedForStoredCode(code)) return s->baud;
  return std::nullopt;
}

std::optional<uint32_t> frameBaudForCode(uint8_t code) {
  if (const LineSpeed* s = lineSpeedForFrameCode(code)) return s->baud;
  return std::nullopt;
}

const char* fixName(FixKind f) { return f == FixKind::Fix3D ? "3d" : f == FixKind::Fix2D ? "2d" : "none"; }

const char* modeName(Mode m) {
  switch (m) {
    case Mode::FirmwareNmea: return "firmware-nmea";
    case Mode::FirmwareVbi: return "firmware-vbi";
    case Mode::FlashKernel: return "flash-kernel";
    case Mode::BootRom: return "boot-rom";
  }
  return "?";
}

}  // namespace

Receiver::Receiver(ReceiverConfig cfg, uint32_t now) : cfg_(std::move(cfg)), sky_(cfg_.seed) {
  baud_ = storedBaud_ = cfg_.baud;
  vbiOutput_ = cfg_.startInVbi;
  bootTick_ = now;
  enterMode(cfg_.start, now);
  fixAt_ = now;  // already running when the program first looks
}

void Receiver::setXmodemFaults(const XmodemFaults& f) {
  xmodemFaults_ = f;
  kernel_.setFaults(f);
  rom_.setFaults(f);
}

void Receiver::enterMode(StartState s, uint32_t now) {
  pending_ = {};
  intake_.reset();
  switch (s) {
    case StartState::Firmware:
      bootFirmware(now);
      return;
    case StartState::FlashKernel:
      mode_ = Mode::FlashKernel;
      baud_ = kKernelBaud;
      kernel_.enter(FlashKernel::Entry::PowerUp, std::nullopt, cfg_.kernel, now, out_);
      return;
    case StartState::BootRom:
      mode_ = Mode::BootRom;
      baud_ = kKernelBaud;
      rom_.powerUp(cfg_.generation, cfg_.flashChip, now);
      return;
  }
}

void Receiver::powerCycle(uint32_t now) {
  out_.clear();  // what was still on its way is gone with the power
  singleChannel_ = 0;
  ephemerisOpen_ = false;
  vbiOutput_ = cfg_.startInVbi;
  fixAt_ = now + cfg_.ttff.hot * 1000;
  enterMode(cfg_.kernelInstalled ? StartState::FlashKernel : StartState::BootRom, now);
}

void Receiver::bootFirmware(uint32_t now) {
  mode_ = vbiOutput_ ? Mode::FirmwareVbi : Mode::FirmwareNmea;
  baud_ = storedBaud_;
  firmwareStart_ = now;
  nextEpoch_ = now + kFirstEpochMs;
  intake_.reset();
}

uint32_t Receiver::baud() const { return baud_; }

FixKind Receiver::currentFix(uint32_t now) const {
  if (cfg_.forcedFix) return *cfg_.forcedFix;
  if (singleChannel_ != 0) return FixKind::None;
  return reached(now, fixAt_) ? FixKind::Fix3D : FixKind::None;
}

void Receiver::receive(const uint8_t* data, size_t n, uint32_t now) {
  for (size_t i = 0; i < n; ++i) receive(data[i], now);
}

void Receiver::receive(uint8_t b, uint32_t now) {
  ++counters_.bytesIn;
  switch (mode_) {
    case Mode::FirmwareNmea:
    case Mode::FirmwareVbi:
      if (auto item = intake_.feed(b)) handle(*item, now);
      return;
    case Mode::FlashKernel:
      kernel_.feed(b, now, out_);
      if (auto u = kernel_.takeUpload()) storeUpload(*u);
      return;
    case Mode::BootRom:
      rom_.feed(b, now, out_);
      if (auto u = rom_.takeUpload()) storeUpload(*u);
      return;
  }
}

void Receiver::advance(uint32_t now) {
  // A change of state waits until the line has put out everything before
  // it, the acknowledgement above all: a UART finishes its frame.
  if (pending_.active && reached(now, pending_.at) && backlog_ == 0) {
    const Pending p = pending_;
    pending_ = {};
    if (p.baud) {
      baud_ = *p.baud;
    } else if (p.section) {
      mode_ = Mode::FlashKernel;
      baud_ = kKernelBaud;
      FlashKernel::Timing t = cfg_.kernel;
      if (p.direct) t.printsZ = false;
      kernel_.enter(FlashKernel::Entry::Command, p.section, t, now, out_);
    }
  }
  switch (mode_) {
    case Mode::FirmwareNmea:
    case Mode::FirmwareVbi:
      if (!reached(now, nextEpoch_) || (pending_.active && pending_.section)) return;
      emitEpoch(nextEpoch_);
      nextEpoch_ += 1000;
      // After a long stall, go on from now instead of catching up.
      if (reached(now, nextEpoch_)) nextEpoch_ = now + 1000 - (now - firmwareStart_) % 1000;
      return;
    case Mode::FlashKernel:
      kernel_.tick(now, out_);
      if (auto u = kernel_.takeUpload()) storeUpload(*u);
      if (kernel_.wantsFirmware()) bootFirmware(now);
      return;
    case Mode::BootRom:
      rom_.tick(now, out_);
      if (auto u = rom_.takeUpload()) storeUpload(*u);
      return;
  }
}

Bytes Receiver::takeOutput() {
  Bytes b;
  b.swap(out_);
  return b;
}

void Receiver::emitEpoch(uint32_t tick) {
  // A receiver whose port cannot keep up drops whole epochs.
  if (!cfg_.epochs || backlog_ > baud_ / 10) return;
  const uint32_t epoch = epochCount_++;
  const int64_t unix = cfg_.startUnix + (tick - bootTick_) / 1000;
  Epoch e;
  e.utc = civilFromUnix(unix);
  e.fix = currentFix(tick);
  e.position = cfg_.position;
  e.sky = sky_.at((tick - bootTick_) / 1000.0, e.fix, singleChannel_);
  if (mode_ == Mode::FirmwareNmea) {
    for (const auto& s : nmeaEpoch(e, rates_, epoch)) append(out_, s);
  } else {
    for (const auto& f : vbiEpoch(e, gpsSecondsFromUnix(unix), epoch)) out_.insert(out_.end(), f.begin(), f.end());
  }
}

bool Receiver::isDuplicate(const IntakeItem& item, uint32_t now) {
  if (item.raw == lastCommand_ && now - lastCommandAt_ < kDuplicateWindowMs) {
    lastCommand_.clear();
    return true;
  }
  lastCommand_ = item.raw;
  lastCommandAt_ = now;
  return false;
}

// The commands the firmware obeys, one row each: its number, its name and
// its handler. A handler answers false for a form it does not know, which
// is counted as ignored; a frame id no row names carries ephemeris.
struct ReceiverCommands {
  struct SentenceArgs {
    std::string_view rest;  // after "PKRVnn", from the first comma
    std::vector<std::string_view> fields;
  };
  struct SentenceRow {
    int id;
    const char* name;
    bool (*handle)(Receiver&, const SentenceArgs&, uint32_t now);
  };
  struct FrameRow {
    uint16_t id;
    const char* name;
    bool (*handle)(Receiver&, uint8_t p0, uint8_t p1, uint32_t now);
  };

  struct RestartCode {
    std::string_view field;          // in "$PKRV02"
    uint8_t frameByte;               // in frame 0x02
    uint32_t TtffSeconds::*seconds;  // hot, warm or cold
  };
  static constexpr RestartCode kRestartCodes[] = {
      {"0", 0x08, &TtffSeconds::hot}, {"48", 0x48, &TtffSeconds::warm}, {"58", 0x58, &TtffSeconds::cold}};

  // "$PKRV11": the forms the firmware takes, by the text after "PKRV11".
  enum class Switch : uint8_t { Update, AllImage, ToNmea, ToVbi, EphemerisOpen, Acknowledge };
  struct SwitchForm {
    std::string_view rest;
    Switch what;
    Section section;  // for Update
  };
  static constexpr SwitchForm kSwitchForms[] = {
      {",1,0,6,2,1", Switch::Update, Section::FlashKernel}, {",1,0,6,2,0", Switch::Update, Section::Firmware},
      {",1,0,6,2,2", Switch::Update, Section::Fsa},         {",1,0,6,2,3", Switch::AllImage, Section::AllImage},
      {",1,1,2,2,0", Switch::ToNmea, Section::Firmware},    {",1,1,7,0", Switch::ToVbi, Section::Firmware},
      {",1,0,1,2,0", Switch::EphemerisOpen, Section::Firmware}, {",1,1,1,2,0", Switch::Acknowledge, Section::Firmware},
  };
  // Frame 0x0B 0x61: the section by the second byte.
  struct UpdateCode {
    uint8_t code;
    Section section;
  };
  static constexpr UpdateCode kFrameUpdateCodes[] = {
      {0x06, Section::FlashKernel}, {0x02, Section::Firmware}, {0x0A, Section::Fsa}};

  static void restart(Receiver& r, const RestartCode& code, uint32_t now) {
    ++r.counters_.restarts;
    r.fixAt_ = now + r.cfg_.ttff.*code.seconds * 1000;
  }
  static bool updateAllowed(const Receiver& r) { return !r.cfg_.refuseUpdate && r.cfg_.kernelInstalled; }

  static bool sentenceRestart(Receiver& r, const SentenceArgs& a, uint32_t now) {
    for (const RestartCode& c : kRestartCodes)
      if (a.fields[0] == c.field) {
        restart(r, c, now);
        r.ackSentence(2);
        return true;
      }
    return false;
  }
  static bool singleChannel(Receiver& r, const SentenceArgs& a, uint32_t) {
    const auto prn = number(a.fields[0]);
    if (!prn || *prn > 32) return false;
    r.singleChannel_ = *prn;
    r.ackSentence(8);
    return true;
  }
  static bool outputRates(Receiver& r, const SentenceArgs& a, uint32_t) {
    if (a.fields.size() != 2) return false;
    if (a.fields[0].empty() && a.fields[1].empty()) {  // the closing "$PKRV09,,": apply what was staged
      r.rates_ = r.stagedRates_;
      if (r.stagedBaud_ != 0) r.storedBaud_ = r.stagedBaud_;
      r.stagedBaud_ = 0;
      r.ackSentence(9);
      return true;
    }
    const auto item = number(a.fields[0]);
    const auto code = number(a.fields[1]);
    if (!item || !code) return false;
    if (*item == 2) {
      const auto b = storedBaudForCode(*code);
      if (!b) return false;
      r.stagedBaud_ = *b;
    } else if (*item >= kFirstItem && *item <= kLastItem && intervalForRateCode(*code) >= 0) {
      r.stagedRates_.interval[static_cast<size_t>(*item - kFirstItem)] = intervalForRateCode(*code);
    } else {
      return false;
    }
    r.ackSentence(9);
    return true;
  }
  static bool modeSwitch(Receiver& r, const SentenceArgs& a, uint32_t now) {
    const SwitchForm* form = nullptr;
    for (const SwitchForm& f : kSwitchForms)
      if (f.rest == a.rest) form = &f;
    if (!form) return false;
    switch (form->what) {
      case Switch::Update:
        if (!updateAllowed(r)) return false;
        r.ackSentence(11);
        r.requestUpdate(form->section, false, now);
        return true;
      case Switch::AllImage:
        // Never acknowledged; the kernel takes the upload at once.
        if (updateAllowed(r)) r.requestUpdate(Section::AllImage, true, now);
        return true;
      case Switch::ToNmea:
        r.vbiOutput_ = false;
        r.mode_ = Mode::FirmwareNmea;
        r.ackSentence(11);
        return true;
      case Switch::ToVbi:
        r.ackSentence(11);  // still in NMEA
        r.vbiOutput_ = true;
        r.mode_ = Mode::FirmwareVbi;
        return true;
      case Switch::EphemerisOpen:
        r.ephemerisOpen_ = true;
        r.ackSentence(11);
        return true;
      case Switch::Acknowledge:
        r.ackSentence(11);
        return true;
    }
    return false;
  }
  static bool version(Receiver& r, const SentenceArgs& a, uint32_t) {
    if (a.fields.size() != 1 || a.fields[0] != "8") return false;
    r.ackSentence(14);
    if (r.mode_ == Mode::FirmwareNmea) {
      char reply[96];
      std::snprintf(reply, sizeof reply, "PKRV100,FERROLAN-SIM,%s,%d,%d,20260101",
                    std::string(generationName(r.cfg_.generation)).c_str(), r.cfg_.versionMajor,
                    r.cfg_.versionMinor);
      append(r.out_, nmeaSentence(reply));
    }
    return true;
  }

  static bool frameRestart(Receiver& r, uint8_t p0, uint8_t, uint32_t now) {
    for (const RestartCode& c : kRestartCodes)
      if (p0 == c.frameByte) {
        restart(r, c, now);
        r.ackFrame(0x02);
        return true;
      }
    return false;
  }
  static bool frameBaud(Receiver& r, uint8_t p0, uint8_t, uint32_t now) {
    const auto b = frameBaudForCode(p0);
    if (!b) return false;
    r.pending_ = {};
    r.pending_.active = true;
    r.pending_.at = now + 100;
    r.pending_.baud = *b;
    return true;
  }
  static bool frameControl(Receiver& r, uint8_t p0, uint8_t p1, uint32_t now) {
    if (p0 == 0x61) {
      for (const UpdateCode& c : kFrameUpdateCodes)
        if (p1 == c.code) {
          if (!updateAllowed(r)) return false;
          r.ackFrame(0x0B);
          r.requestUpdate(c.section, false, now);
          return true;
        }
      return false;
    }
    if (p0 == 0x21) {  // the end of an ephemeris upload
      r.ephemerisOpen_ = false;
      r.ackFrame(0x0B);
      return true;
    }
    return false;
  }

  static constexpr SentenceRow kSentences[] = {
      {2, "restart", sentenceRestart},   {8, "single-channel", singleChannel}, {9, "output-rates", outputRates},
      {11, "mode-switch", modeSwitch},   {14, "version", version},
  };
  static constexpr FrameRow kFrames[] = {
      {0x02, "restart", frameRestart}, {0x0A, "line-rate", frameBaud}, {0x0B, "update-or-ephemeris-end", frameControl}};

  // The row of a table with this id, or null.
  template <typename Row, size_t N, typename Id>
  static const Row* find(const Row (&rows)[N], Id id) {
    for (const Row& r : rows)
      if (r.id == id) return &r;
    return nullptr;
  }
};

template <typename Row, size_t N>
constexpr bool distinctIds(const Row (&rows)[N]) {
  for (size_t i = 0; i < N; ++i)
    for (size_t k = i + 1; k < N; ++k)
      if (rows[i].id == rows[k].id) return false;
  return true;
}
static_assert(distinctIds(ReceiverCommands::kSentences) && distinctIds(ReceiverCommands::kFrames));

void Receiver::handle(const IntakeItem& item, uint32_t now) {
  const bool command =
      item.kind == IntakeItem::Kind::Sentence || ReceiverCommands::find(ReceiverCommands::kFrames, item.id);
  if (command && isDuplicate(item, now)) {
    ++counters_.duplicates;
    return;
  }
  if (item.kind == IntakeItem::Kind::Sentence)
    handleSentence(item.body, now);
  else
    handleFrame(item.id, item.payload, now);
}

void Receiver::ackSentence(int n) {
  if (cfg_.neverAck || mode_ != Mode::FirmwareNmea) return;
  char body[16];
  std::snprintf(body, sizeof body, "PKRV200,%02d", n);
  append(out_, nmeaSentence(body));
}

void Receiver::ackFrame(uint16_t id) {
  if (cfg_.neverAck || mode_ != Mode::FirmwareVbi) return;
  const Bytes f = vbiFrame(id, {});
  out_.insert(out_.end(), f.begin(), f.end());
}

void Receiver::requestUpdate(Section s, bool direct, uint32_t now) {
  pending_ = {};
  pending_.active = true;
  pending_.at = now + kTransitionMs;
  pending_.section = s;
  pending_.direct = direct;
}

void Receiver::handleSentence(const std::string& text, uint32_t now) {
  const std::string_view body(text);
  std::optional<int> id;
  if (body.size() >= 6 && body.substr(0, 4) == "PKRV" && (body.size() == 6 || body[6] == ','))
    id = number(body.substr(4, 2));
  const ReceiverCommands::SentenceRow* row = id ? ReceiverCommands::find(ReceiverCommands::kSentences, *id) : nullptr;
  ReceiverCommands::SentenceArgs args{body.size() > 6 ? body.substr(6) : std::string_view(),
                                      splitFields(body.size() > 7 ? body.substr(7) : std::string_view())};
  if (row && row->handle(*this, args, now)) {
    ++counters_.commands;
    counters_.lastCommand = row->name;
  } else {
    ++counters_.ignored;
  }
}

void Receiver::handleFrame(uint16_t id, const Bytes& payload, uint32_t now) {
  const ReceiverCommands::FrameRow* row = ReceiverCommands::find(ReceiverCommands::kFrames, id);
  if (!row) return keepEphemeris(id, payload);
  const uint8_t p0 = payload.empty() ? 0 : payload[0];
  const uint8_t p1 = payload.size() < 2 ? 0 : payload[1];
  if (row->handle(*this, p0, p1, now)) {
    ++counters_.commands;
    counters_.lastCommand = row->name;
  } else {
    ++counters_.ignored;
  }
}

void Receiver::keepEphemeris(uint16_t id, const Bytes& payload) {
  ++counters_.ephemerisFrames;
  Bytes frame = vbiFrame(id, payload);
  if (!cfg_.storeDir.empty()) {
    std::ofstream f(cfg_.storeDir + "/ephemeris.vbi", std::ios::binary | std::ios::app);
    f.write(reinterpret_cast<const char*>(frame.data()), static_cast<std::streamsize>(frame.size()));
  }
  if (ephemeris_.size() < kMaxKeptEphemeris) ephemeris_.push_back(std::move(frame));
}

void Receiver::storeUpload(const Upload& u) {
  StoredImage img{u.section, u.data.size(), {}};
  if (!cfg_.storeDir.empty()) {
    img.path = cfg_.storeDir + "/" + std::to_string(images_.size() + 1) + "-" + std::string(sectionName(u.section)) +
               ".bin";
    std::ofstream f(img.path, std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char*>(u.data.data()), static_cast<std::streamsize>(u.data.size()));
    if (!f) img.path = "write-failed:" + img.path;
  }
  images_.push_back(img);
  // A new kernel, or an all-image (which carries one), makes the kernel present.
  if (u.section == Section::FlashKernel || (u.section == Section::AllImage && u.data.size() == kAllImageSize))
    cfg_.kernelInstalled = true;
}

std::string Receiver::stateLine(uint32_t now) const {
  std::string s = "state mode=";
  s += modeName(mode_);
  if (mode_ == Mode::FlashKernel) s += std::string(" kernel-state=") + kernel_.stateName();
  if (mode_ == Mode::BootRom) s += std::string(" rom-state=") + rom_.stateName();
  s += " baud=" + std::to_string(baud_);
  s += " stored-baud=" + std::to_string(storedBaud_);
  s += std::string(" fix=") + fixName(currentFix(now));
  s += " rates=";
  static constexpr const char* kNames[] = {"RMC", "GGA", "GLL", "GSA", "GSV", "ALM", "VTG", "ZDA"};
  for (size_t i = 0; i < rates_.interval.size(); ++i) {
    if (i) s += ',';
    s += std::string(kNames[i]) + ":" + std::to_string(rates_.interval[i]);
  }
  s += " single-channel=" + std::to_string(singleChannel_);
  s += " version=" + std::to_string(cfg_.versionMajor) + "." + std::to_string(cfg_.versionMinor);
  s += std::string(" kernel=") + (cfg_.kernelInstalled ? "on" : "off");
  s += " generation=" + std::string(generationName(cfg_.generation));
  s += " chip=" + cfg_.flashChip;
  s += " commands=" + std::to_string(counters_.commands);
  s += " last-command=" + std::string(counters_.lastCommand);
  s += " duplicates=" + std::to_string(counters_.duplicates);
  s += " ignored=" + std::to_string(counters_.ignored);
  s += " bad-checksums=" + std::to_string(intake_.counters().badChecksums);
  s += " restarts=" + std::to_string(counters_.restarts);
  s += " ephemeris=" + std::to_string(counters_.ephemerisFrames);
  s += std::string(" ephemeris-open=") + (ephemerisOpen_ ? "yes" : "no");
  s += " bytes-in=" + std::to_string(counters_.bytesIn);
  s += " images=" + std::to_string(images_.size());
  for (size_t i = 0; i < images_.size(); ++i) {
    s += " image" + std::to_string(i + 1) + "=" + std::string(sectionName(images_[i].section)) + ":" +
         std::to_string(images_[i].size) + ":" + (images_[i].path.empty() ? "-" : images_[i].path);
  }
  return s;
}

}  // namespace ferrolan::sim
