#include "hook/memory.h"

#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <new>
#include <system_error>
#include <vector>

#include "hook/allocator.h"

namespace KelHook {
namespace {

constexpr unsigned ChunkSize = 4096;

// Runs `access` with each page of [address, address + size) writable and executable, then gives
// each page its own former protection back. Only those pages change: a whole region around
// them may hold other code or data that another thread relies on.
template <class Access>
void withPagesUnprotected(const void* address, unsigned size, Access access) {
  const std::uintptr_t page = pageSize();
  const auto start = reinterpret_cast<std::uintptr_t>(address);
  const std::uintptr_t first = start & ~(page - 1);
  const std::uintptr_t last = (start + (size ? size - 1 : 0)) & ~(page - 1);
  std::vector<DWORD> formers;
  formers.reserve((last - first) / page + 1);
  for (std::uintptr_t p = first; p <= last; p += page) {
    DWORD former = 0;
    if (!VirtualProtect(reinterpret_cast<void*>(p), 1, PAGE_EXECUTE_READWRITE, &former)) former = 0;
    formers.push_back(former);
  }
  access();
  std::size_t index = 0;
  for (std::uintptr_t p = first; p <= last; p += page, ++index) {
    DWORD ignored = 0;
    if (formers[index] != 0) VirtualProtect(reinterpret_cast<void*>(p), 1, formers[index], &ignored);
  }
}

// Bytes that lie within one aligned 8-byte unit are stored with one locked 8-byte exchange, so
// a thread running them sees the old bytes or the new ones, never a mix; a patch placed so
// fits. Others are copied at once with memcpy.
void storeCode(std::uint8_t* out, const std::uint8_t* in, std::size_t size) {
  const auto start = reinterpret_cast<std::uintptr_t>(out);
  const std::uintptr_t unit = start & ~std::uintptr_t{7};
  if (size == 0 || start + size > unit + 8) {
    std::memcpy(out, in, size);
    return;
  }
  auto* target = reinterpret_cast<volatile LONGLONG*>(unit);
  LONGLONG seen = *target;
  for (;;) {
    LONGLONG wanted = seen;
    std::memcpy(reinterpret_cast<std::uint8_t*>(&wanted) + (start - unit), in, size);
    const LONGLONG was = InterlockedCompareExchange64(target, wanted, seen);
    if (was == seen) return;
    seen = was;
  }
}

}  // namespace

void* copyCode(void* destination, const void* source, unsigned size) {
  if (!destination || !source || size == 0) return nullptr;
  withPagesUnprotected(destination, size, [&] {
    storeCode(static_cast<std::uint8_t*>(destination), static_cast<const std::uint8_t*>(source), size);
  });
  FlushInstructionCache(GetCurrentProcess(), destination, size);
  return destination;
}

void* copyCode(void* destination, const std::vector<std::uint8_t>& bytes) {
  return copyCode(destination, bytes.data(), static_cast<unsigned>(bytes.size()));
}

bool readCode(void* destination, const void* source, unsigned size) {
  if (!destination || !source || size == 0) return false;
  withPagesUnprotected(source, size, [&] { std::memcpy(destination, source, size); });
  return true;
}

unsigned readableCodeBytes(const void* address, unsigned wanted) {
  MEMORY_BASIC_INFORMATION region{};
  if (VirtualQuery(address, &region, sizeof(region)) == 0 || region.State != MEM_COMMIT) return 0;
  const auto end = reinterpret_cast<std::uintptr_t>(region.BaseAddress) + region.RegionSize;
  const std::uintptr_t left = end - reinterpret_cast<std::uintptr_t>(address);
  return left < wanted ? static_cast<unsigned>(left) : wanted;
}

bool fillCode(void* destination, std::uint8_t value, unsigned size) {
  if (!destination || size == 0) return false;
  std::uint8_t chunk[ChunkSize];
  std::memset(chunk, value, size < ChunkSize ? size : ChunkSize);
  auto* out = static_cast<std::uint8_t*>(destination);
  for (unsigned done = 0; done < size;) {
    unsigned n = size - done < ChunkSize ? size - done : ChunkSize;
    if (!copyCode(out + done, chunk, n)) return false;
    done += n;
  }
  return true;
}

bool compareCode(const void* address, const void* bytes, unsigned size) {
  if (!address || !bytes || size == 0) return false;
  std::uint8_t chunk[ChunkSize];
  auto* code = static_cast<const std::uint8_t*>(address);
  auto* expected = static_cast<const std::uint8_t*>(bytes);
  for (unsigned done = 0; done < size;) {
    unsigned n = size - done < ChunkSize ? size - done : ChunkSize;
    // The chunk is the destination here: the copy reads code whose protection may forbid it.
    withPagesUnprotected(code + done, n, [&] { std::memcpy(chunk, code + done, n); });
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
  withPagesUnprotected(address, 1, [&] { std::memcpy(&value, address, 1); });
  return value;
}

std::uint32_t readDword(const void* address) {
  std::uint32_t value = 0;
  withPagesUnprotected(address, 4, [&] { std::memcpy(&value, address, 4); });
  return value;
}

void writeByte(void* address, std::uint8_t value) {
  withPagesUnprotected(address, 1, [&] { std::memcpy(address, &value, 1); });
}

void writeDword(void* address, std::uint32_t value) {
  withPagesUnprotected(address, 4, [&] { std::memcpy(address, &value, 4); });
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
  const WalkResult walk = protectRegions(memory, size);
  switch (walk) {
    case WalkResult::QueryFailed:
    case WalkResult::ProtectFailed: {
      const std::error_code error(static_cast<int>(GetLastError()), std::system_category());
      std::free(memory);
      throw std::system_error(error, walk == WalkResult::QueryFailed ? "virtual query error"
                                                                     : "virtual protect error");
    }
    case WalkResult::Covered:
      break;
  }
  return memory;
}

}  // namespace KelHook
