#include "link/line_waits.h"

#include "link/vbi_frame.h"

namespace ferrolan {

namespace {
constexpr uint32_t kDetectSeconds = 4;
}  // namespace

StreamKind detectStream(Port& port, Clock& clock, const CancelToken* cancel) {
  const uint32_t start = clock.tickCount();
  auto read = [&](uint8_t& b) { return cancel ? port.readByteOrCancel(b, *cancel) : port.readByte(b); };
  for (;;) {
    uint8_t b;
    if (read(b)) {
      if (b == '$') {
        uint8_t g = 0, p = 0;
        const bool gotG = read(g);
        const bool gotP = read(p);
        if (gotG && gotP && g == 'G' && p == 'P') return StreamKind::Nmea;
      } else if (b == kVbiSync1) {
        uint8_t f = 0;
        if (read(f) && f == kVbiSync2) return StreamKind::Vbi;
      }
    }
    if (cancel && cancel->cancelled()) return StreamKind::None;
    if (elapsedSeconds(clock, start) >= kDetectSeconds) return StreamKind::None;
  }
}

bool awaitTag(Port& port, Clock& clock, std::string_view tag, uint32_t seconds) {
  const uint32_t start = clock.tickCount();
  for (;;) {
    uint8_t b;
    if (port.readByte(b) && b == '$') {
      bool match = true;
      for (char expected : tag) {
        uint8_t c;
        if (!port.readByte(c) || c != static_cast<uint8_t>(expected)) match = false;
      }
      if (match) return true;
    }
    if (elapsedSeconds(clock, start) >= seconds) return false;
  }
}

bool awaitVbiAck(Port& port, Clock& clock, uint8_t id, uint32_t seconds) {
  enum class Ack { Sync1, Sync2, Id } state = Ack::Sync1;
  const uint32_t start = clock.tickCount();
  for (;;) {
    uint8_t b;
    if (!port.readByte(b)) {
      state = Ack::Sync1;
    } else {
      switch (state) {
        case Ack::Sync1:
          if (b == kVbiSync1) state = Ack::Sync2;
          break;
        case Ack::Sync2:
          state = b == kVbiSync2 ? Ack::Id : Ack::Sync1;
          break;
        case Ack::Id:
          if (b == id) return true;
          state = Ack::Sync1;
          break;
      }
    }
    if (elapsedSeconds(clock, start) >= seconds) return false;
  }
}

bool awaitByteCount(Port& port, Clock& clock, uint8_t byte, int count, uint32_t seconds) {
  const uint32_t start = clock.tickCount();
  int seen = 0;
  for (;;) {
    uint8_t b;
    if (port.readByte(b) && b == byte && ++seen >= count) return true;
    if (elapsedSeconds(clock, start) >= seconds) return false;
  }
}

}  // namespace ferrolan
