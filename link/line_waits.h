#pragma once
// The waits on the receiver's line. Each reads the port one byte per call
// (a read that times out delivers nothing to examine) and ends after whole
// seconds of the tick count; each takes only the port and the clock.

#include <cstdint>
#include <string_view>

#include "platform/clock.h"
#include "platform/port.h"

namespace ferrolan {

enum class StreamKind { None, Nmea, Vbi };

// "$GP" or 0x81 0xFF within 4 whole seconds; None at once when `cancel`
// (may be null) fires.
StreamKind detectStream(Port& port, Clock& clock, const CancelToken* cancel = nullptr);

// A "$" followed by exactly the bytes of `tag`, within `seconds`. Every byte
// of a candidate is read even after one differs, so a mismatch costs the
// same reads whatever it holds.
bool awaitTag(Port& port, Clock& clock, std::string_view tag, uint32_t seconds);

// 0x81 0xFF and then `id` within `seconds`; a silent read restarts the match.
bool awaitVbiAck(Port& port, Clock& clock, uint8_t id, uint32_t seconds);

// `count` bytes equal to `byte`, not necessarily in a row, within `seconds`.
bool awaitByteCount(Port& port, Clock& clock, uint8_t byte, int count, uint32_t seconds);

}  // namespace ferrolan
