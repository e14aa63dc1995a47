#include "hook/memory.h"

#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <new>

#include "hook/allocator.h"

namespace KelHook {
namespace {

constexpr unsigned chunkSize = 4096;

// Runs `access` with [address, address + size) writable and executable, then puts the former
// protection back.
template <class Access>
void withUnprotected(const void* address, unsigned size, Access access) {
  DWORD former = 0;
  VirtualProtect(const_cast<void*>(address), size, PAGE_EXECUTE_READWRITE, &former);
  access();
  DWORD ignored = 0;
  VirtualProtect(const_cast<void*>(address), size, former, &ignored);
}

}  // namespace

void* copyCode(void* destination, const void* source, unsigned size) {
  if (!destination || !source || size == 0) return nullptr;
  auto* out = static_cast<std::uint8_t*>(destination);
  auto* in = static_cast<const std::uint8_t*>(source);
  std::size_t left = size;
  // Region by region: a range over two regions of different protection gets each one back.
  while (left > 0) {
    MEMORY_BASIC_INFORMATION region{};
    VirtualQuery(out, &region, sizeof(region));
    auto* regionEnd = static_cast<std::uint8_t*>(region.BaseAddress) + region.RegionSize;
    std::size_t part = left;
    if (region.RegionSize != 0 && regionEnd > out && std::size_t(regionEnd - out) < left)
      part = std::size_t(regionEnd - out);
    DWORD former = 0;
    VirtualProtect(region.BaseAddress, region.RegionSize, PAGE_EXECUTE_READWRITE, &former);
    std::memcpy(out, in, part);
    DWORD ignored = 0;
    VirtualProtect(region.BaseAddress, region.RegionSize, former, &ignored);
    out += part;
    in += part;
    left -= part;
  }
  FlushInstructionCache(GetCurrentProcess(), destination, size);
  return destination;
}

void* copyCode(void* destination, const std::vector<std::uint8_t>& bytes) {
  return copyCode(destination, bytes.data(), static_cast<unsigned>(bytes.size()));
}

bool fillCode(void* destination, std::uint8_t value, unsigned size) {
  if (!destination || size == 0) return false;
  std::uint8_t chunk[chunkSize];
  std::memset(chunk, value, size < chunkSize ? size : chunkSize);
  auto* out = static_cast<std::uint8_t*>(destination);
  for (unsigned done = 0; done < size;) {
    unsigned n = size - done < chunkSize ? size - done : chunkSize;
    if (!copyCode(out + done, chunk, n)) return false;
    done += n;
  }
  return true;
}

bool compareCode(const void* address, const void* bytes, unsigned size) {
  if (!address || !bytes || size == 0) return false;
  std::uint8_t chunk[chunkSize];
  auto* code = static_cast<const std::uint8_t*>(address);
  auto* expected = static_cast<const std::uint8_t*>(bytes);
  for (unsigned done = 0; done < size;) {
    unsigned n = size - done < chunkSize ? size - done : chunkSize;
    // The chunk is the destination here: the copy reads code whose protection may forbid it.
    withUnprotected(code + done, n, [&] { std::memcpy(chunk, code + done, n); });
    if (std::memcmp(chunk, expected + done, n) != 0) return false;
    done += n;
  }
  return true;
}

bool compareCode(const void* address, const std::vector<std::uint8_t>& bytes) {
  return compareCode(address, bytes.data(), static_cast<unsigned>(bytes.size()));
}

std::uint8_t readByte(const void* address) {
  std::uint8_t value = 0;
  withUnprotected(address, 1, [&] { std::memcpy(&value, address, 1); });
  return value;
}

std::uint32_t readDword(const void* address) {
  std::uint32_t value = 0;
  withUnprotected(address, 4, [&] { std::memcpy(&value, address, 4); });
  return value;
}

void writeByte(void* address, std::uint8_t value) {
  withUnprotected(address, 1, [&] { std::memcpy(address, &value, 1); });
}

void writeDword(void* address, std::uint32_t value) {
  withUnprotected(address, 4, [&] { std::memcpy(address, &value, 4); });
}

bool flushCode(const Ptr& block) { return flushCode(block.address, block.size); }

bool flushCode(const void* address, unsigned size) {
  return FlushInstructionCache(GetCurrentProcess(), address, size) != 0;
}

namespace {
enum class WalkResult { Covered, QueryFailed, ProtectFailed };

WalkResult protectRegions(void* address, unsigned size) {
  auto* cursor = static_cast<std::uint8_t*>(address);
  std::size_t left = size;
  while (left > 0) {
    MEMORY_BASIC_INFORMATION region{};
    if (VirtualQuery(cursor, &region, sizeof(region)) == 0) return WalkResult::QueryFailed;
    DWORD former = 0;
    if (!VirtualProtect(region.BaseAddress, region.RegionSize, PAGE_EXECUTE_READWRITE, &former))
      return WalkResult::ProtectFailed;
    // The region may start before the cursor: only its part from the cursor on counts.
    auto* regionEnd = static_cast<std::uint8_t*>(region.BaseAddress) + region.RegionSize;
    std::size_t covered = static_cast<std::size_t>(regionEnd - cursor);
    if (covered >= left) break;
    left -= covered;
    cursor = regionEnd;
  }
  return WalkResult::Covered;
}
}  // namespace

bool makeExecutable(void* address, unsigned size) {
  return protectRegions(address, size) == WalkResult::Covered;
}

unsigned pageSize() {
  SYSTEM_INFO info{};
  GetSystemInfo(&info);
  return info.dwPageSize;
}

void* allocateExecutable(unsigned size) {
  void* memory = std::malloc(size);
  if (!memory) throw std::bad_alloc();
  switch (protectRegions(memory, size)) {
    case WalkResult::QueryFailed:
      std::free(memory);
      throw "virtual query error";
    case WalkResult::ProtectFailed:
      std::free(memory);
      throw "virtual protect error";
    case WalkResult::Covered:
      break;
  }
  return memory;
}

}  // namespace KelHook
