// A drop-down box read back after the logic selected an entry.
#include <gtest/gtest.h>

#include "ui/ui_model.h"

namespace ferrolan {
namespace {

TEST(UiModelSelection, SelectingAnEntryGivesTheBoxItsTextAndBadIndexesClearOnlyTheSelection) {
  UiModel ui;
  ui.openWindow(WindowId::ComPortSetup, {{ids::kComPortBox, {}}});
  ui.setItems(WindowId::ComPortSetup, ids::kComPortBox, {"COM1:", "COM2:", "COM3:"});
  ui.setSelection(WindowId::ComPortSetup, ids::kComPortBox, 2);
  EXPECT_EQ(ui.text(WindowId::ComPortSetup, ids::kComPortBox), "COM3:");
  EXPECT_EQ(ui.selection(WindowId::ComPortSetup, ids::kComPortBox), 2);

  // Text the user typed afterwards stays until the next selection.
  ui.setText(WindowId::ComPortSetup, ids::kComPortBox, "/dev/ttyUSB0");
  ui.setSelection(WindowId::ComPortSetup, ids::kComPortBox, 7);
  EXPECT_EQ(ui.selection(WindowId::ComPortSetup, ids::kComPortBox), -1);
  EXPECT_EQ(ui.text(WindowId::ComPortSetup, ids::kComPortBox), "/dev/ttyUSB0");
  ui.setSelection(WindowId::ComPortSetup, ids::kComPortBox, -5);
  EXPECT_EQ(ui.text(WindowId::ComPortSetup, ids::kComPortBox), "/dev/ttyUSB0");
}

}  // namespace
}  // namespace ferrolan
