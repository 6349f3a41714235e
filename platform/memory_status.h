#pragma once
// Free physical memory, as the VBI log's size choices need it.

#include <cstdint>
#include <string_view>

namespace ferrolan {

// Bytes of "MemAvailable" in a /proc/meminfo text; 0 when it names none.
uint64_t parseMemAvailable(std::string_view meminfo);

// The machine's available physical memory in bytes; 0 when unknown.
uint64_t availablePhysicalMemory();

}  // namespace ferrolan
