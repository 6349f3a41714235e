#include "sim/control.h"

#include <vector>

namespace ferrolan::sim {

namespace {

std::vector<std::string_view> words(std::string_view s) {
  std::vector<std::string_view> w;
  size_t i = 0;
  while (i < s.size()) {
    while (i < s.size() && (s[i] == ' ' || s[i] == '\t' || s[i] == '\r')) ++i;
    const size_t start = i;
    while (i < s.size() && s[i] != ' ' && s[i] != '\t' && s[i] != '\r') ++i;
    if (i > start) w.push_back(s.substr(start, i - start));
  }
  return w;
}

std::optional<bool> onOff(std::string_view w) {
  if (w == "on") return true;
  if (w == "off") return false;
  return std::nullopt;
}

std::optional<uint32_t> unsignedValue(std::string_view w) {
  if (w.empty() || w.size() > 9) return std::nullopt;
  uint32_t v = 0;
  for (char c : w) {
    if (c < '0' || c > '9') return std::nullopt;
    v = v * 10 + static_cast<uint32_t>(c - '0');
  }
  return v;
}

}  // namespace

std::string runControl(std::string_view text, Receiver& rx, LineFaults& line, XmodemFaults& xm, uint32_t now,
                       ControlEffects& fx) {
  const auto w = words(text);
  if (w.empty()) return {};
  const std::string_view cmd = w[0];
  const std::string_view a = w.size() > 1 ? w[1] : std::string_view();
  const std::string_view b = w.size() > 2 ? w[2] : std::string_view();

  if (cmd == "state") {
    fx.dumpState = true;
    return {};
  }
  if (cmd == "quit") {
    fx.quit = true;
    return "ok";
  }
  if (cmd == "power-cycle") {
    rx.powerCycle(now);
    return "ok";
  }
  if (cmd == "kernel" && onOff(a)) {
    rx.setKernelInstalled(*onOff(a));
    return "ok";
  }
  if (cmd == "silent" && onOff(a)) {
    line.silent = *onOff(a);
    return "ok";
  }
  if (cmd == "fix") {
    if (a == "none") rx.setForcedFix(FixKind::None);
    else if (a == "2d") rx.setForcedFix(FixKind::Fix2D);
    else if (a == "3d") rx.setForcedFix(FixKind::Fix3D);
    else if (a == "auto") rx.setForcedFix(std::nullopt);
    else return "error: fix takes none, 2d, 3d or auto";
    return "ok";
  }
  if (cmd == "version") {
    const auto major = unsignedValue(a), minor = unsignedValue(b);
    if (!major || !minor) return "error: version takes MAJOR MINOR";
    rx.setVersion(static_cast<int>(*major), static_cast<int>(*minor));
    return "ok";
  }
  if (cmd == "mode") {
    if (a == "firmware") rx.enterMode(StartState::Firmware, now);
    else if (a == "kernel") rx.enterMode(StartState::FlashKernel, now);
    else if (a == "rom") rx.enterMode(StartState::BootRom, now);
    else return "error: mode takes firmware, kernel or rom";
    return "ok";
  }
  if (cmd == "generation") {
    if (a == "pi") rx.setGeneration(Generation::PI);
    else if (a == "pii") rx.setGeneration(Generation::PII);
    else return "error: generation takes pi or pii";
    return "ok";
  }
  if (cmd == "chip" && !a.empty()) {
    rx.setChip(std::string(a));
    return "ok";
  }
  if (cmd == "refuse-update" && onOff(a)) {
    rx.setRefuseUpdate(*onOff(a));
    return "ok";
  }
  if (cmd == "hangup") {
    const auto ms = a.empty() ? std::optional<uint32_t>(2000) : unsignedValue(a);
    if (!ms) return "error: hangup takes MILLISECONDS";
    fx.hangUpMs = *ms;
    return "ok";
  }
  if (cmd == "fault") {
    if (a == "garbage" && onOff(b)) line.garbage = *onOff(b);
    else if (a == "no-ack" && onOff(b)) rx.setNeverAck(*onOff(b));
    else if (a == "nak-storm" && onOff(b)) xm.nakStorm = *onOff(b);
    else if (a == "pause") line.pauseArmed = true;
    else if (a == "pace" && onOff(b)) line.pace = *onOff(b);
    else if (a == "lose-ack" && unsignedValue(b)) xm.loseAckOfBlock = *unsignedValue(b);
    else if (a == "corrupt-ack" && unsignedValue(b)) xm.corruptAckOfBlock = *unsignedValue(b);
    else return "error: unknown fault";
    rx.setXmodemFaults(xm);
    return "ok";
  }
  return "error: unknown command: " + std::string(cmd);
}

}  // namespace ferrolan::sim
