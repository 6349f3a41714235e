#pragma once
// The About box and the VBI Log Setting dialog, which chooses how much the
// VBI log buffers before it starts a new file, offering only the sizes the
// free memory allows.

#include <array>
#include <cstdint>
#include <functional>

#include "ui/dialog_host.h"
#include "ui/ids.h"

namespace ferrolan {

struct LogBuffer;
class UiModel;

struct LogSizeChoice {
  int radio;          // control id
  uint64_t minFree;   // free physical memory that enables it, in bytes
  uint32_t capacity;  // logCapacity on click
};
inline constexpr std::array<LogSizeChoice, 4> kLogSizeChoices = {{
    {ids::kLog10Minutes, 655360, 655360},
    {ids::kLog30Minutes, 2097152, 2097152},
    {ids::kLog1Hour, 4194304, 4194304},
    {ids::kLog2Hours, 8388608, 8388608},
}};

DialogProcedures aboutProcedures(DialogHost& host);
// freeMemory is read once, when the dialog opens.
DialogProcedures vbiLogSettingProcedures(UiModel& ui, LogBuffer& log, std::function<uint64_t()> freeMemory,
                                         DialogHost& host);

}  // namespace ferrolan
