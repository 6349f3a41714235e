#include "shell/page_templates.h"

namespace ferrolan {

std::vector<std::pair<int, ControlState>> initialControls(int templateId) {
  std::vector<std::pair<int, ControlState>> c;
  auto label = [](const char* text) {
    ControlState s;
    s.text = text;
    return s;
  };
  switch (templateId) {
    case 110:
    case 119:
    case 122:
      c = {{ids::kTextLog, {}}, {ids::kTextProgress, {}}, {ids::kTextStatus, {}},
           {ids::kTextPortLabel, label("N/A")}, {ids::kTextBaudLabel, label("N/A")}};
      break;
    default:
      break;
  }
  return c;
}

}  // namespace ferrolan
