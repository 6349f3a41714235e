#include "shell/page_templates.h"

#include "shell/resources.h"

namespace ferrolan {

std::vector<std::pair<int, ControlState>> initialControls(int templateId) {
  const res::DialogTemplate* t = res::findTemplate(templateId);
  return t ? res::initialControls(*t) : std::vector<std::pair<int, ControlState>>{};
}

}  // namespace ferrolan
