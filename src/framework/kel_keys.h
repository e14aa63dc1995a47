#pragma once
// The game's 24 controller values: index k names the 16-bit value k of the game's current and
// previous controller arrays.
#include <cstdint>

namespace KelKeys {

enum GameKeys : std::uint8_t {
  LeftStickX = 0,
  LeftStickY,
  RightStickX,
  RightStickY,
  LeftShoulder1,
  LeftShoulder2,
  RightShoulder1,
  RightShoulder2,
  DPadUp,
  DPadDown,
  DPadLeft,
  DPadRight,
  Start,
  Select,
  Square,
  Triangle,
  Cross,
  Circle,
  LeftShock,
  RightShock,
  ChatIndicated,
  PedWalk,
  VehicleMouseLook,
  RadioTrackSkip,
};

constexpr int GameKeyCount = 24;

}  // namespace KelKeys
