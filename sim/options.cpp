#include "sim/options.h"

#include <cstdlib>

namespace ferrolan::sim {

const char* helpText() {
  return R"(usage: ferrolan-sim [OPTIONS]

A simulated GPS receiver on a pseudo-terminal. The first line on standard
output is the path of the line to open (the pty slave, or --device).
Later lines answer control commands.

Line
  --device PATH          use a real serial device instead of a pty
  --link PATH            make PATH a symlink to the line
  --baud N               receiver's rate: 4800 9600 19200 38400 57600 115200 (9600)
  --no-pacing            put bytes out as fast as the pty takes them instead
                         of 10 bits per byte at the receiver's rate
  --exit-after SECONDS   stop after this long (default: run until killed)
  --control PATH         also read control commands from the FIFO at PATH
                         (made when missing); standard input always works
  --power-cycle-on-reopen
                         when the program opens the line again after it was
                         closed for a second or more, act as a power cycle
                         (plays the user who turns the device off and on)

Receiver
  --start firmware|kernel|rom   state at start (firmware)
  --vbi                  firmware starts with VBI output instead of NMEA
  --generation pi|pii    boot-ROM generation (pii)
  --chip NAME            flash chip the PII loader names (MX29LV400;
                         also AM29DL800, EN29LV400)
  --no-kernel            no flash kernel installed: a power cycle reaches the
                         boot ROM, update commands are refused
  --no-z                 the flash kernel prints no "Z" bytes after an update
                         command and waits for the XMODEM upload at once
  --kernel-wait SECONDS  how long the kernel prints "Z" bytes (12); then, if
                         entered by command, it waits for the commanded
                         section's upload, else it boots the firmware
  --version-major N      firmware version in the "$PKRV100" reply (3)
  --version-minor N      (17)
  --refuse-update        do not acknowledge or obey update commands
  --never-ack            acknowledge nothing
  --fix none|2d|3d       hold the fix state (default: 3D, lost on a restart)
  --ttff-hot S, --ttff-warm S, --ttff-cold S
                         time to first fix after each restart kind (3, 20, 40)
  --lat DEG --lon DEG --alt M   position (25.0339, 121.5645, 35)
  --utc UNIXSECONDS      UTC at start (1767225600 = 2026-01-01 00:00:00)
  --seed N               the sky's seed (1)
  --store DIR            write received images and ephemeris frames here
  --replay FILE          put out a capture byte for byte, one RMC sentence a
                         second (commands are still read and answered)
  --fast                 with --replay: as fast as possible
  --nak-burst N          NAKs per XMODEM request burst (3)

Control commands (one per line, on standard input or the --control FIFO)
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
  - While no program has the line open, the receiver's output is dropped.
)";
}

namespace {

bool toDouble(const std::string& s, double& out) {
  char* end = nullptr;
  out = std::strtod(s.c_str(), &end);
  return !s.empty() && end && *end == '\0';
}

bool toInt(const std::string& s, long long& out, long long lo, long long hi) {
  char* end = nullptr;
  out = std::strtoll(s.c_str(), &end, 10);
  return !s.empty() && end && *end == '\0' && out >= lo && out <= hi;
}

bool validBaud(long long b) {
  return b == 4800 || b == 9600 || b == 19200 || b == 38400 || b == 57600 || b == 115200;
}

}  // namespace

std::string parseOptions(const std::vector<std::string>& args, SimOptions& o) {
  ReceiverConfig& r = o.receiver;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto value = [&](std::string& v) {
      if (i + 1 >= args.size()) return false;
      v = args[++i];
      return true;
    };
    std::string v;
    long long n = 0;
    double d = 0;
    if (a == "--help" || a == "-h") {
      o.help = true;
    } else if (a == "--power-cycle-on-reopen") {
      o.powerCycleOnReopen = true;
    } else if (a == "--no-pacing") {
      o.line.pace = false;
    } else if (a == "--vbi") {
      r.startInVbi = true;
    } else if (a == "--no-kernel") {
      r.kernelInstalled = false;
    } else if (a == "--no-z") {
      r.kernel.printsZ = false;
    } else if (a == "--refuse-update") {
      r.refuseUpdate = true;
    } else if (a == "--never-ack") {
      r.neverAck = true;
    } else if (a == "--fast") {
      o.replayFast = true;
    } else if (a == "--device" || a == "--link" || a == "--control" || a == "--store" || a == "--replay" ||
               a == "--chip") {
      if (!value(v) || v.empty()) return a + " needs a value";
      if (a == "--device") o.device = v;
      if (a == "--link") o.link = v;
      if (a == "--control") o.control = v;
      if (a == "--store") r.storeDir = v;
      if (a == "--replay") o.replayFile = v;
      if (a == "--chip") r.flashChip = v;
    } else if (a == "--baud") {
      if (!value(v) || !toInt(v, n, 0, 1000000) || !validBaud(n)) return "--baud takes one of 4800 ... 115200";
      r.baud = static_cast<uint32_t>(n);
    } else if (a == "--exit-after") {
      if (!value(v) || !toDouble(v, d) || d <= 0 || d > 1e7) return "--exit-after takes a positive number of seconds";
      o.exitAfterSeconds = d;
    } else if (a == "--start") {
      if (!value(v)) return "--start needs a value";
      if (v == "firmware") r.start = StartState::Firmware;
      else if (v == "kernel") r.start = StartState::FlashKernel;
      else if (v == "rom") r.start = StartState::BootRom;
      else return "--start takes firmware, kernel or rom";
    } else if (a == "--generation") {
      if (!value(v)) return "--generation needs a value";
      if (v == "pi") r.generation = Generation::PI;
      else if (v == "pii") r.generation = Generation::PII;
      else return "--generation takes pi or pii";
    } else if (a == "--fix") {
      if (!value(v)) return "--fix needs a value";
      if (v == "none") r.forcedFix = FixKind::None;
      else if (v == "2d") r.forcedFix = FixKind::Fix2D;
      else if (v == "3d") r.forcedFix = FixKind::Fix3D;
      else return "--fix takes none, 2d or 3d";
    } else if (a == "--kernel-wait" || a == "--ttff-hot" || a == "--ttff-warm" || a == "--ttff-cold" ||
               a == "--version-major" || a == "--version-minor" || a == "--seed" || a == "--nak-burst") {
      if (!value(v) || !toInt(v, n, 0, 4000000000LL)) return a + " takes a whole number";
      const auto u = static_cast<uint32_t>(n);
      if (a == "--kernel-wait") r.kernel.announceMs = u * 1000;
      if (a == "--ttff-hot") r.ttff.hot = u;
      if (a == "--ttff-warm") r.ttff.warm = u;
      if (a == "--ttff-cold") r.ttff.cold = u;
      if (a == "--version-major") r.versionMajor = static_cast<int>(n % 100000);
      if (a == "--version-minor") r.versionMinor = static_cast<int>(n % 100000);
      if (a == "--seed") r.seed = u;
      if (a == "--nak-burst") {
        if (n < 1 || n > 64) return "--nak-burst takes 1 to 64";
        o.xmodem.nakBurst = static_cast<int>(n);
      }
    } else if (a == "--lat" || a == "--lon" || a == "--alt") {
      if (!value(v) || !toDouble(v, d)) return a + " takes a number";
      if (a == "--lat") {
        if (d < -90 || d > 90) return "--lat lies in -90 ... 90";
        r.position.latitudeDeg = d;
      }
      if (a == "--lon") {
        if (d < -180 || d > 180) return "--lon lies in -180 ... 180";
        r.position.longitudeDeg = d;
      }
      if (a == "--alt") r.position.altitudeM = d;
    } else if (a == "--utc") {
      if (!value(v) || !toInt(v, n, 315964800LL, 4000000000LL)) return "--utc takes Unix seconds after 1980";
      r.startUnix = n;
    } else {
      return "unknown option: " + a;
    }
  }
  return {};
}

}  // namespace ferrolan::sim
