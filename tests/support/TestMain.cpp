// Test entry: one application object on the test's main thread, as in the program, so that worker
// hand-overs and message pumping work the same way.
#include <gtest/gtest.h>
#include "framework/Application.h"

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  TApplication app;
  app.Initialize();
  app.SetTitle(L"Tradeloom tests");
  return RUN_ALL_TESTS();
}
