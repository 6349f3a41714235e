#pragma once
// The controls a template's window starts with.

#include <utility>
#include <vector>

#include "ui/ui_model.h"

namespace ferrolan {

std::vector<std::pair<int, ControlState>> initialControls(int templateId);

}  // namespace ferrolan
