// The GUI tests run inside one QApplication, with the application font set.
#include <gtest/gtest.h>

#include <QApplication>

#include "shell/qt/qt_sheet.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  ferrolan::qt::applyApplicationFont();
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
