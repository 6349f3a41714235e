#pragma once
// What the refresh routines of the Info and Sky pages see: the data path's
// view of the process, the pages' flags and the layout the sky plot is
// placed by.

#include <atomic>

#include "datapath/data_path_context.h"
#include "datapath/display_flags.h"

namespace ferrolan {

struct DisplayContext {
  DataPathContext& path;
  DisplayFlags& flags;
  const std::atomic<bool>& isPocketPC;
  const std::atomic<bool>& isPortrait;
};

}  // namespace ferrolan
