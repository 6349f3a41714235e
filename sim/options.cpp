#include "sim/options.h"

#include <charconv>
#include <cstdint>

#include "platform/line_speeds.h"

namespace ferrolan::sim {

namespace {

const char* const kDescription =
    R"(A simulated GPS receiver on a pseudo-terminal. The first line on standard
output is the path of the line to open (the pty slave, or --device).
Later lines answer control commands.)";

const char* const kFooter = R"(Control commands (one per line, on standard input or the --control FIFO)
  state                  print one line "state key=value ..." (mode, baud,
                         line-baud, connected, fix, rates, single-channel,
                         version, kernel, commands, duplicates, ephemeris,
                         bytes-in, images, imageN=section:size:path, ...)
  power-cycle            turn the device off and on
  kernel on|off          flash kernel present or absent
  mode firmware|kernel|rom   jump to a state
  silent on|off          the receiver's output stops reaching the line
  fix none|2d|3d|auto    hold or release the fix state
  version MAJOR MINOR    set the firmware version
  generation pi|pii, chip NAME
  refuse-update on|off
  fault garbage on|off   a burst of noise bytes every second
  fault no-ack on|off    no acknowledgements
  fault pause            the next sentence stalls 1.5 s after its fifth byte
  fault pace on|off      pacing at the line rate
  fault nak-storm on|off answer each XMODEM block with 16 NAKs
  fault lose-ack N       the ACK of the Nth XMODEM block is lost
  fault corrupt-ack N    the ACK of the Nth block arrives as 0x86
                         (XMODEM faults apply from the next transfer on)
  hangup [MS]            the line drops for MS milliseconds (2000); a new
                         line comes up and its path is printed as "path P"
  quit

Behaviour where the receiver is not fixed by anything the program needs:
  - Acknowledgements are "$PKRV200,NN" sentences in NMEA mode and empty VBI
    frames with the command's id in VBI mode. Each command arrives twice;
    the second identical copy within 1.5 s is recognised and not obeyed.
  - The version reply is "$PKRV100,FERROLAN-SIM,<gen>,<major>,<minor>,20260101".
  - "$PKRV09" rate and baud settings take effect on the closing "$PKRV09,,";
    the stored baud rate applies from the next power cycle. The VBI baud
    frame changes the rate at once and is not stored.
  - After an accepted update command the firmware leaves for the flash kernel
    at 115200 baud 0.3 s later. The all-image command goes straight to the
    XMODEM upload. Other VBI frames (not ids 2, 10, 11) count as ephemeris.
  - The kernel menu is printed on every ESC or space; "0" "1" "9" "b" pick
    flash kernel, firmware, FSA, all-image; "y" erases and starts XMODEM.
  - The boot ROM greets 0.3 s after power-up ("Press ESC ..." on PII, "I-ROM
    V1.02 (PI) ..." on PI), shows its menu on ESC, takes "1" and a loader by
    XMODEM. It checks "FRLD", generation, role 1 and size (2720 PI, 3576 PII)
    with 0x1A fill; the loader prints its banner and takes the 524288-byte
    all-image (" - Upload SUCCESS" or " - Upload FAIL!!!").
  - Rate mismatch: when the program's port runs at another rate than the
    receiver, each byte arrives as noise in 0x82..0xFE (one per sender/line
    ratio when the sender is faster) and what the program sends is lost.
  - While no program has the line open, the receiver's output is dropped.)";

// Whole-number options take what they always took.
constexpr long long kMaxWhole = 4000000000LL;
// GPS time begins in 1980.
constexpr long long kFirstUtc = 315964800LL;

std::string lineSpeedTexts() {
  std::string s;
  for (const LineSpeed& l : kLineSpeeds) s += (s.empty() ? "" : " ") + std::string(l.text);
  return s;
}

std::string shortest(double v) {
  char text[32];
  return std::string(text, std::to_chars(text, text + sizeof text, v).ptr);
}

// Exactly the receiver's line speeds.
CLI::Validator lineSpeed() {
  return CLI::Validator(
      [](std::string& text) -> std::string {
        uint32_t baud = 0;
        const char* end = text.data() + text.size();
        const auto [ptr, ec] = std::from_chars(text.data(), end, baud);
        if (text.empty() || ec != std::errc() || ptr != end || !lineSpeedFor(baud))
          return "'" + text + "' is not one of " + lineSpeedTexts();
        text = std::to_string(baud);
        return {};
      },
      "");
}

// Seconds above 0 and at most 1e7.
CLI::Validator runTime() {
  return CLI::Validator(
      [](std::string& text) -> std::string {
        double s = 0;
        const char* end = text.data() + text.size();
        const auto [ptr, ec] = std::from_chars(text.data(), end, s);
        if (text.empty() || ec != std::errc() || ptr != end || !(s > 0 && s <= 1e7))
          return "'" + text + "' is not a positive number of seconds up to 10000000";
        return {};
      },
      "");
}

}  // namespace

CommandLine<SimOptions> parseOptions(const std::vector<std::string>& args) {
  CommandLine<SimOptions> line;
  SimOptions& o = line.options;
  ReceiverConfig& r = o.receiver;
  CLI::App app(kDescription, "ferrolan-sim");
  setUpCommandLine(app, 25);
  app.footer(kFooter);
  const auto n = [](auto v) { return std::to_string(v); };

  const std::string lineGroup = "Line";
  app.add_option("--device", o.device, "use a real serial device instead of a pty")
      ->type_name("PATH")->check(nonEmpty())->group(lineGroup);
  app.add_option("--link", o.link, "make PATH a symlink to the line")
      ->type_name("PATH")->check(nonEmpty())->group(lineGroup);
  app.add_option("--baud", r.baud, "receiver's rate: " + lineSpeedTexts() + " (" + n(r.baud) + ")")
      ->type_name("N")->transform(lineSpeed())->group(lineGroup);
  app.add_flag_callback("--no-pacing", [&o] { o.line.pace = false; },
                        "put bytes out as fast as the pty takes them instead\n"
                        "of 10 bits per byte at the receiver's rate")
      ->group(lineGroup);
  app.add_option("--exit-after", o.exitAfterSeconds, "stop after this long (default: run until killed)")
      ->type_name("SECONDS")->check(runTime())->group(lineGroup);
  app.add_option("--control", o.control,
                 "also read control commands from the FIFO at PATH\n"
                 "(made when missing); standard input always works")
      ->type_name("PATH")->check(nonEmpty())->group(lineGroup);
  app.add_flag("--power-cycle-on-reopen", o.powerCycleOnReopen,
               "when the program opens the line again after it was\n"
               "closed for a second or more, act as a power cycle\n"
               "(plays the user who turns the device off and on)")
      ->group(lineGroup);

  const std::string rx = "Receiver";
  app.add_option("--start", r.start, "state at start (firmware)")
      ->type_name("firmware|kernel|rom")
      ->transform(oneOf<StartState>(
          {{"firmware", StartState::Firmware}, {"kernel", StartState::FlashKernel}, {"rom", StartState::BootRom}}))
      ->group(rx);
  app.add_flag("--vbi", r.startInVbi, "firmware starts with VBI output instead of NMEA")->group(rx);
  app.add_option("--generation", r.generation, "boot-ROM generation (pii)")
      ->type_name("pi|pii")
      ->transform(oneOf<Generation>({{"pi", Generation::PI}, {"pii", Generation::PII}}))
      ->group(rx);
  app.add_option("--chip", r.flashChip,
                 "flash chip the PII loader names (" + r.flashChip + ";\nalso AM29DL800, EN29LV400)")
      ->type_name("NAME")->check(nonEmpty())->group(rx);
  app.add_flag_callback("--no-kernel", [&r] { r.kernelInstalled = false; },
                        "no flash kernel installed: a power cycle reaches the\n"
                        "boot ROM, update commands are refused")
      ->group(rx);
  app.add_flag_callback("--no-z", [&r] { r.kernel.printsZ = false; },
                        "the flash kernel prints no \"Z\" bytes after an update\n"
                        "command and waits for the XMODEM upload at once")
      ->group(rx);
  app.add_option_function<uint32_t>(
         "--kernel-wait", [&r](uint32_t s) { r.kernel.announceMs = s * 1000; },
         "how long the kernel prints \"Z\" bytes (" + n(r.kernel.announceMs / 1000) +
             "); then, if\n"
             "entered by command, it waits for the commanded\n"
             "section's upload, else it boots the firmware")
      ->type_name("SECONDS")->transform(within(0LL, kMaxWhole))->group(rx);
  // Versions keep to the five digits the reply has room for.
  app.add_option_function<long long>(
         "--version-major", [&r](long long v) { r.versionMajor = static_cast<int>(v % 100000); },
         "firmware version in the \"$PKRV100\" reply (" + n(r.versionMajor) + ")")
      ->type_name("N")->transform(within(0LL, kMaxWhole))->group(rx);
  app.add_option_function<long long>(
         "--version-minor", [&r](long long v) { r.versionMinor = static_cast<int>(v % 100000); },
         "its minor number (" + n(r.versionMinor) + ")")
      ->type_name("N")->transform(within(0LL, kMaxWhole))->group(rx);
  app.add_flag("--refuse-update", r.refuseUpdate, "do not acknowledge or obey update commands")->group(rx);
  app.add_flag("--never-ack", r.neverAck, "acknowledge nothing")->group(rx);
  app.add_option_function<FixKind>(
         "--fix", [&r](FixKind f) { r.forcedFix = f; }, "hold the fix state (default: 3D, lost on a restart)")
      ->type_name("none|2d|3d")
      ->transform(oneOf<FixKind>({{"none", FixKind::None}, {"2d", FixKind::Fix2D}, {"3d", FixKind::Fix3D}}))
      ->group(rx);
  app.add_option("--ttff-hot", r.ttff.hot, "time to first fix after a hot restart (" + n(r.ttff.hot) + ")")
      ->type_name("S")->transform(within(0LL, kMaxWhole))->group(rx);
  app.add_option("--ttff-warm", r.ttff.warm, "... after a warm restart (" + n(r.ttff.warm) + ")")
      ->type_name("S")->transform(within(0LL, kMaxWhole))->group(rx);
  app.add_option("--ttff-cold", r.ttff.cold, "... after a cold restart (" + n(r.ttff.cold) + ")")
      ->type_name("S")->transform(within(0LL, kMaxWhole))->group(rx);
  app.add_option("--lat", r.position.latitudeDeg, "position: latitude (" + shortest(r.position.latitudeDeg) + ")")
      ->type_name("DEG")->transform(within(-90.0, 90.0))->group(rx);
  app.add_option("--lon", r.position.longitudeDeg, "longitude (" + shortest(r.position.longitudeDeg) + ")")
      ->type_name("DEG")->transform(within(-180.0, 180.0))->group(rx);
  app.add_option("--alt", r.position.altitudeM, "altitude (" + shortest(r.position.altitudeM) + ")")
      ->type_name("M")->transform(anyNumber<double>())->group(rx);
  app.add_option("--utc", r.startUnix, "UTC at start (1767225600 = 2026-01-01 00:00:00)")
      ->type_name("UNIXSECONDS")->transform(within(kFirstUtc, kMaxWhole))->group(rx);
  app.add_option("--seed", r.seed, "the sky's seed (" + n(r.seed) + ")")
      ->type_name("N")->transform(within(0LL, kMaxWhole))->group(rx);
  app.add_option("--store", r.storeDir, "write received images and ephemeris frames here")
      ->type_name("DIR")->check(nonEmpty())->group(rx);
  app.add_option("--replay", o.replayFile,
                 "put out a capture (NMEA text or a VBI log) byte for\n"
                 "byte in its own time, epoch by epoch as its RMC or GGA\n"
                 "times or PVT frames say, from half a second after a\n"
                 "program first opens the line (commands are still read\n"
                 "and answered)")
      ->type_name("FILE")->check(nonEmpty())->group(rx);
  app.add_option("--speed", o.replaySpeed, "with --replay: times the capture's speed (1); 0 as fast\nas possible")
      ->type_name("X")->transform(within(0.0, kMaxReplaySpeed))->group(rx);
  app.add_flag_callback("--fast", [&o] { o.replaySpeed = 0; }, "with --replay: --speed 0")->group(rx);
  app.add_option("--hang-up-at-block", o.hangUpAtBlock,
                 "the line drops (and stays away) when the flash kernel\n"
                 "has taken this many XMODEM blocks")
      ->type_name("N")->transform(within(1LL, kMaxWhole))->group(rx);
  app.add_option("--nak-burst", o.xmodem.nakBurst, "NAKs per XMODEM request burst (" + n(o.xmodem.nakBurst) + ")")
      ->type_name("N")->transform(within(1LL, 64LL))->group(rx);

  line.exit = parseCommandLine(app, args, std::string("ferrolan-sim ") + FERROLAN_VERSION);
  return line;
}

}  // namespace ferrolan::sim
