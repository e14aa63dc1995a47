// The entry point of test drivers: GoogleTest runs inside the stand-in, on its main thread.
#include <gtest/gtest.h>

#include "game/standin_api.h"

namespace {
StandinGame* driven = nullptr;
}

StandinGame& standinGame() { return *driven; }

extern "C" __declspec(dllexport) int velquorDrive(StandinGame* game, int argc, char** argv) {
  driven = game;
  testing::InitGoogleTest(&argc, argv);
  const int result = RUN_ALL_TESTS();
  std::fflush(stdout);
  return result;
}
