#pragma once
// The four ways into the receiver's flash: each procedure takes the port
// over from the worker threads, brings the receiver into a state that takes
// an XMODEM upload (by command, through the flash kernel's menu after a
// power cycle, or through the boot ROM with a loader) and sends the file
// named in the Update Firmware dialog. One-way: the workers stay stopped.

#include <cstdint>
#include <string>
#include <string_view>

namespace ferrolan {

struct UpdateContext;

void updateFlashKernel(UpdateContext& ctx);
void updateFsa(UpdateContext& ctx);
void updateFirmware(UpdateContext& ctx);
void updateAllImage(UpdateContext& ctx);

// Ends the receive, display and command threads (in that order), skipping
// the one that calls it and any that is not running.
bool stopWorkers(UpdateContext& ctx);

// n single-byte reads shown in the TextLog: a line after reads L-1, 2L-1,
// ...; what came after the last such point is not shown. Answers every
// byte received, shown or not.
std::string echoReceiverText(UpdateContext& ctx, int n, int lineReads);

// The file named in the dialog's box (at most 128 characters), opened
// read-only into the update file; a name starting with "\" is a device
// path under the root.
bool openNamedUpdateFile(UpdateContext& ctx);

inline constexpr size_t kFileNameBoxChars = 128;
// The file-open dialog of the update.
inline constexpr const char* kUpdateFileTitle = "Specify a file";
inline constexpr const char* kUpdateFileFilter = "Binary Files (*.bin)|*.bin|All Files (*.*)|*.*||";

}  // namespace ferrolan
