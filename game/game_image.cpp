#include "game/game_image.h"

#include <windows.h>

#include <cstring>
#include <stdexcept>

#include "host/host.h"

namespace Standin {

namespace {

// Differing bytes closer than this are reported as one run (a patch's call and its nops).
constexpr std::uint32_t RunGap = 4;

void requireCovered(std::uint32_t first, std::uint32_t last, std::uint32_t& begin, std::uint32_t& end) {
  MEMORY_BASIC_INFORMATION info{};
  HMODULE exe = GetModuleHandleA(nullptr);
  for (std::uint32_t address : {first, last}) {
    if (!VirtualQuery(reinterpret_cast<void*>(static_cast<std::uintptr_t>(address)), &info, sizeof info) ||
        info.State != MEM_COMMIT || info.AllocationBase != exe)
      throw std::runtime_error("the game image does not hold address " + std::to_string(address) +
                               " (stand-in launcher built wrongly?)");
  }
  begin = first;
  end = last;
}

}  // namespace

GameImage::GameImage(int extensionOffset, const void* const services[static_cast<int>(Service::Count)])
    : code_(buildGameCode()) {
  const std::uint32_t first = code_.pieces.front().address;
  requireCovered(first, Private::End, begin_, end_);
  // The whole game range, code and data alike, is made writable and executable, as a game's
  // image would be after the loader and the module's unprotecting.
  DWORD old = 0;
  VirtualProtect(reinterpret_cast<void*>(static_cast<std::uintptr_t>(first)), Private::End - first,
                 PAGE_EXECUTE_READWRITE, &old);

  for (const CodePiece& piece : code_.pieces)
    std::memcpy(reinterpret_cast<void*>(static_cast<std::uintptr_t>(piece.address)), piece.bytes.data(),
                piece.bytes.size());
  for (int i = 0; i < static_cast<int>(Service::Count); ++i)
    Host::at<const void*>(serviceSlotAddress(static_cast<Service>(i))) = services[i];
  Host::at<std::int32_t>(Host::RasterExtensionOffset) = extensionOffset;
  FlushInstructionCache(GetCurrentProcess(), nullptr, 0);
}

std::vector<ChangedBytes> GameImage::changedCode() const {
  std::vector<ChangedBytes> changes;
  for (const CodePiece& piece : code_.pieces) {
    const auto* now = reinterpret_cast<const std::uint8_t*>(static_cast<std::uintptr_t>(piece.address));
    const std::uint32_t size = static_cast<std::uint32_t>(piece.bytes.size());
    std::uint32_t i = 0;
    while (i < size) {
      if (now[i] == piece.bytes[i]) {
        ++i;
        continue;
      }
      std::uint32_t runEnd = i + 1;
      for (std::uint32_t j = runEnd; j < size && j < runEnd + RunGap; ++j)
        if (now[j] != piece.bytes[j]) runEnd = j + 1;  // the bound moves with runEnd
      ChangedBytes change;
      change.address = piece.address + i;
      change.now.assign(now + i, now + runEnd);
      change.original.assign(piece.bytes.begin() + i, piece.bytes.begin() + runEnd);
      changes.push_back(std::move(change));
      i = runEnd;
    }
  }
  return changes;
}

std::vector<std::uint8_t> GameImage::pristine(std::uint32_t address, std::size_t count) const {
  std::vector<std::uint8_t> out(count, 0);
  for (const CodePiece& piece : code_.pieces) {
    for (std::size_t i = 0; i < count; ++i) {
      const std::uint32_t a = address + static_cast<std::uint32_t>(i);
      if (a >= piece.address && a < piece.address + piece.bytes.size()) out[i] = piece.bytes[a - piece.address];
    }
  }
  return out;
}

void GameImage::suspendChanges(bool suspended) {
  if (suspended == isSuspended_) return;
  if (suspended) suspended_ = changedCode();
  for (const ChangedBytes& change : suspended_) {
    const std::vector<std::uint8_t>& bytes = suspended ? change.original : change.now;
    std::memcpy(reinterpret_cast<void*>(static_cast<std::uintptr_t>(change.address)), bytes.data(), bytes.size());
  }
  if (!suspended) suspended_.clear();
  isSuspended_ = suspended;
  FlushInstructionCache(GetCurrentProcess(), nullptr, 0);
}

unsigned GameImage::counter(Counter c) const { return Host::at<std::uint32_t>(counterAddress(c)); }

}  // namespace Standin
