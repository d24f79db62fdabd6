#include <gtest/gtest.h>

#include <QApplication>

#include "viewer/Styling.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  ravik::CreateDialogFonts(800);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
