#pragma once
// The pages of a sheet in a front end that draws them itself (the script
// console, the terminal): a page opens in the model when first shown, hears
// when it becomes or stops being the active one, and closes with the sheet,
// in the order the page procedures expect.

#include <cstddef>
#include <vector>

#include "shell/front_end.h"
#include "ui/ui_model.h"

namespace ferrolan {

// open(page) opens the page's window in the model, before its procedure
// hears that it was created.
template <typename Page, typename Open>
void showSheetPage(std::vector<Page>& pages, int& active, size_t index, PageProcedures& procedures, Open open) {
  if (index >= pages.size() || static_cast<int>(index) == active) return;
  if (active >= 0 && procedures.activated) procedures.activated(pages[static_cast<size_t>(active)].window, false);
  Page& p = pages[index];
  if (!p.created) {
    p.created = true;
    open(p);
    if (procedures.created) procedures.created(p.window);
  }
  active = static_cast<int>(index);
  if (procedures.activated) procedures.activated(p.window, true);
}

// Every page that was shown hears the close (the shutdown runs there), then
// its window closes.
template <typename Page>
void closeSheetPages(const std::vector<Page>& pages, PageProcedures& procedures, UiModel& ui) {
  for (const Page& p : pages)
    if (p.created && procedures.closed) procedures.closed(p.window);
  for (const Page& p : pages)
    if (p.created) ui.closeWindow(p.window);
}

}  // namespace ferrolan
