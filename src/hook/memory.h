#pragma once
// Reading and writing code whose page protection may forbid it: each access lifts the
// protection for its own duration and puts the former one back.
#include <cstdint>
#include <vector>

namespace KelHook {

struct Ptr;

// Copies under PAGE_EXECUTE_READWRITE of each page the destination range covers, putting each
// page's protection back, then flushes the instruction cache. The bytes land in one store (an
// atomic one when they lie within an aligned 8-byte unit). Null on null pointers or size 0.
void* copyCode(void* destination, const void* source, unsigned size);
void* copyCode(void* destination, const std::vector<std::uint8_t>& bytes);

// Reads code whose protection may forbid it, lifting it on the source's pages only.
bool readCode(void* destination, const void* source, unsigned size);
// How many of `wanted` bytes from `address` on lie in committed memory of the same region.
unsigned readableCodeBytes(const void* address, unsigned wanted);

// Writes `size` bytes of `value` through copyCode in chunks of at most 4096 bytes.
bool fillCode(void* destination, std::uint8_t value, unsigned size);

// True when the code at `address` equals `bytes`; reads it in 4096-byte chunks.
bool compareCode(const void* address, const void* bytes, unsigned size);
bool compareCode(const void* address, const std::vector<std::uint8_t>& bytes);

std::uint8_t readByte(const void* address);
std::uint32_t readDword(const void* address);
void writeByte(void* address, std::uint8_t value);
void writeDword(void* address, std::uint32_t value);

// Host addresses are plain numbers.
inline std::uint8_t readByte(std::uintptr_t address) {
  return readByte(reinterpret_cast<const void*>(address));
}
inline std::uint32_t readDword(std::uintptr_t address) {
  return readDword(reinterpret_cast<const void*>(address));
}
inline void writeByte(std::uintptr_t address, std::uint8_t value) {
  writeByte(reinterpret_cast<void*>(address), value);
}
inline void writeDword(std::uintptr_t address, std::uint32_t value) {
  writeDword(reinterpret_cast<void*>(address), value);
}

// FlushInstructionCache over an allocator block, or over any range.
bool flushCode(const Ptr& block);
bool flushCode(const void* address, unsigned size);

// Sets every region that VirtualQuery reports over [address, address + size) to
// PAGE_EXECUTE_READWRITE; false when a query or a protection change fails.
bool makeExecutable(void* address, unsigned size);

// The system page size (GetSystemInfo).
unsigned pageSize();

// malloc'ed memory made executable; throws std::system_error (the system's error code, and
// "virtual query error" or "virtual protect error") when the protection cannot be set.
// Released with free().
void* allocateExecutable(unsigned size);

}  // namespace KelHook
