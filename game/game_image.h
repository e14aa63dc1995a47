#pragma once
// The game's image in memory: checks that the launcher's image holds every game address, makes
// it writable and executable, writes the game code and data into it, and compares the code with
// the pristine copy.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "game/game_code.h"
#include "game/standin_types.h"

namespace Standin {

class GameImage {
 public:
  // Throws std::runtime_error when the image does not cover the game's addresses.
  GameImage(int extensionOffset, const void* const services[static_cast<int>(Service::Count)]);

  const GameRoutines& routines() const { return code_.routines; }
  std::uint32_t begin() const { return begin_; }
  std::uint32_t end() const { return end_; }

  std::vector<ChangedBytes> changedCode() const;
  // Bytes as written at start; zero outside the game code (the image is zero-filled there).
  std::vector<std::uint8_t> pristine(std::uint32_t address, std::size_t count) const;
  unsigned counter(Counter c) const;
  // True writes the pristine bytes over every change and keeps the changed bytes aside; false
  // writes them back. A second call with the same value does nothing.
  void suspendChanges(bool suspended);

 private:
  GameCode code_;
  std::vector<ChangedBytes> suspended_;
  bool isSuspended_ = false;
  std::uint32_t begin_ = 0;
  std::uint32_t end_ = 0;
};

}  // namespace Standin
