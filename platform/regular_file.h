#pragma once
// Reading a small file that the user controls (configuration, registry,
// ephemeris) without trusting what it is: a FIFO, a device or a huge file
// must not hang the program or swallow its memory.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>

namespace ferrolan {

enum class FileRead {
  Ok,
  Missing,     // absent or unreadable
  NotRegular,  // a folder, FIFO, device, socket: never opened for reading
  TooBig,      // a regular file over the limit
};

// Reads the whole of the regular file at `path` into `out` (empty unless
// Ok). Never blocks: a non-regular file is refused before it is opened,
// and the open itself is non-blocking in case the name changes meanwhile.
FileRead readRegularFile(const std::string& path, size_t limit, std::string& out);

// The same into a buffer the caller owns; the file may fill it exactly.
// `length` is the count of bytes read when Ok, else 0.
FileRead readRegularFile(const std::string& path, std::span<uint8_t> into, size_t& length);

// Hands the regular file at `path` to `take` in pieces of at most
// `chunk` bytes, in order, without holding more than one: a file of any size
// in memory that does not grow with it. `take` answers false to stop
// (then Ok too). A file over `limit` is TooBig before any piece is read.
FileRead readRegularFileInPieces(const std::string& path, size_t limit, size_t chunk,
                                 const std::function<bool(std::span<const uint8_t>)>& take);

}  // namespace ferrolan
