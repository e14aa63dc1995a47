#include "site_routine.h"

#include <windows.h>

#include <cstring>
#include <stdexcept>

namespace hooktest {

namespace {

constexpr unsigned codeSize = 4096;
constexpr unsigned stackSize = 256 * 1024;
constexpr std::uint32_t entryOffset = 64;

std::uint32_t addressOf(const void* pointer) {
  return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(pointer));
}

class Code {
 public:
  explicit Code(std::uint32_t base) : base_(base) {}
  Code& bytes(std::initializer_list<std::uint8_t> list) {
    bytes_.insert(bytes_.end(), list);
    return *this;
  }
  Code& dword(std::uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes_.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
    return *this;
  }
  Code& dword(const void* pointer) { return dword(addressOf(pointer)); }
  Code& append(const std::vector<std::uint8_t>& more) {
    bytes_.insert(bytes_.end(), more.begin(), more.end());
    return *this;
  }
  void padTo(std::uint32_t offset) { bytes_.resize(offset, 0xCC); }
  std::uint32_t here() const { return base_ + static_cast<std::uint32_t>(bytes_.size()); }
  const std::vector<std::uint8_t>& get() const { return bytes_; }

 private:
  std::uint32_t base_;
  std::vector<std::uint8_t> bytes_;
};

std::vector<std::uint8_t> relative(std::initializer_list<std::uint8_t> opcode, std::uint32_t from,
                                   std::uint32_t destination) {
  std::vector<std::uint8_t> out(opcode);
  const std::uint32_t displacement = destination - (from + static_cast<std::uint32_t>(out.size()) + 4);
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(displacement >> (8 * i)));
  return out;
}

}  // namespace

Registers sampleRegisters() {
  return {0x11111111, 0x22222222, 0x33333333, 0x44444444, 0,
          0x66666666, 0x77777777, 0x88888888, 0x202 | CF | ZF | SF | OF, 0x5107F00D};
}

std::vector<std::uint8_t> callTo(std::uint32_t from, std::uint32_t destination) {
  return relative({0xE8}, from, destination);
}
std::vector<std::uint8_t> jumpTo(std::uint32_t from, std::uint32_t destination) {
  return relative({0xE9}, from, destination);
}
std::vector<std::uint8_t> jzTo(std::uint32_t from, std::uint32_t destination) {
  return relative({0x0F, 0x84}, from, destination);
}
std::vector<std::uint8_t> addEax(std::uint32_t value, unsigned nops) {
  std::vector<std::uint8_t> out{0x05};
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
  out.insert(out.end(), nops, 0x90);
  return out;
}

CallableSite::CallableSite(const std::vector<std::uint8_t>& site, unsigned siteOffset)
    : siteOffset_(siteOffset) {
  pages_ = static_cast<std::uint8_t*>(
      VirtualAlloc(nullptr, 2 * 4096, MEM_COMMIT | MEM_RESERVE, PAGE_EXECUTE_READWRITE));
  if (!pages_) throw std::runtime_error("VirtualAlloc failed");
  std::memset(pages_, 0xCC, 2 * 4096);
  const std::uint8_t load[] = {0x8B, 0x44, 0x24, 0x04};  // mov eax, [esp+4]
  std::memcpy(pages_ + siteOffset - sizeof load, load, sizeof load);
  std::memcpy(pages_ + siteOffset, site.data(), site.size());
  pages_[siteOffset + site.size()] = 0xC3;  // ret
  protect(0, PAGE_EXECUTE_READ);
  protect(1, PAGE_EXECUTE_READ);
  FlushInstructionCache(GetCurrentProcess(), pages_, 2 * 4096);
}

CallableSite::~CallableSite() { VirtualFree(pages_, 0, MEM_RELEASE); }

std::uint32_t CallableSite::call(std::uint32_t x) const {
  return reinterpret_cast<std::uint32_t(__cdecl*)(std::uint32_t)>(pages_ + siteOffset_ - 4)(x);
}

std::uint32_t CallableSite::site() const { return addressOf(pages_ + siteOffset_); }

void CallableSite::protect(unsigned page, std::uint32_t protection) {
  DWORD old;
  VirtualProtect(pages_ + 4096 * page, 4096, protection, &old);
}

std::uint32_t CallableSite::protection(unsigned page) const {
  MEMORY_BASIC_INFORMATION info{};
  VirtualQuery(pages_ + 4096 * page, &info, sizeof(info));
  return info.Protect;
}

SiteRoutine::SiteRoutine(std::vector<std::uint8_t> site)
    : SiteRoutine([site](const Landmarks&) { return site; }) {}

SiteRoutine::SiteRoutine(const SiteBytes& siteBytes)
    : data_(std::make_unique<Data>()), stack_(stackSize) {
  std::memset(data_.get(), 0, sizeof(Data));
  stackTop_ = (addressOf(stack_.data()) + stackSize - 64) & ~15u;
  code_ = static_cast<std::uint8_t*>(
      VirtualAlloc(nullptr, codeSize, MEM_COMMIT | MEM_RESERVE, PAGE_EXECUTE_READWRITE));
  if (!code_) throw std::runtime_error("VirtualAlloc failed");
  Data& d = *data_;
  Code c(addressOf(code_));

  landmarks_.callee = c.here();
  c.bytes({0xBA}).dword(calleeMark).bytes({0xC3});                    // mov edx, mark; ret
  c.padTo(16);
  landmarks_.jumpTarget = c.here();
  c.bytes({0xBA}).dword(jumpMark);                                    // mov edx, mark
  c.bytes({0xFF, 0x25}).dword(&d.epilogue);                           // jmp [epilogue]
  c.padTo(32);
  landmarks_.alternate = c.here();
  c.bytes({0xC7, 0x05}).dword(&d.reachedAlternate).dword(1);          // mov [reached], 1
  c.bytes({0xFF, 0x25}).dword(&d.epilogue);                           // jmp [epilogue]
  c.padTo(entryOffset);

  c.bytes({0x60, 0x9C});                                              // pushad; pushfd
  c.bytes({0x89, 0x25}).dword(&d.savedEsp);                           // mov [savedEsp], esp
  c.bytes({0xBC}).dword(stackTop_);                                   // mov esp, stack top
  c.bytes({0xFF, 0x35}).dword(&d.in.slot);                            // push [in.slot]
  c.bytes({0xFF, 0x35}).dword(&d.in.eflags).bytes({0x9D});            // push [in.eflags]; popfd
  c.bytes({0xA1}).dword(&d.in.eax);                                   // mov eax, [in.eax]
  c.bytes({0x8B, 0x0D}).dword(&d.in.ecx);
  c.bytes({0x8B, 0x15}).dword(&d.in.edx);
  c.bytes({0x8B, 0x1D}).dword(&d.in.ebx);
  c.bytes({0x8B, 0x2D}).dword(&d.in.ebp);
  c.bytes({0x8B, 0x35}).dword(&d.in.esi);
  c.bytes({0x8B, 0x3D}).dword(&d.in.edi);
  landmarks_.site = c.here();
  c.append(siteBytes(landmarks_));
  d.epilogue = c.here();
  c.bytes({0x89, 0x25}).dword(&d.out.esp);                            // mov [out.esp], esp
  c.bytes({0x9C, 0x8F, 0x05}).dword(&d.out.eflags);                   // pushfd; pop [out.eflags]
  c.bytes({0xA3}).dword(&d.out.eax);                                  // mov [out.eax], eax
  c.bytes({0x89, 0x0D}).dword(&d.out.ecx);
  c.bytes({0x89, 0x15}).dword(&d.out.edx);
  c.bytes({0x89, 0x1D}).dword(&d.out.ebx);
  c.bytes({0x89, 0x2D}).dword(&d.out.ebp);
  c.bytes({0x89, 0x35}).dword(&d.out.esi);
  c.bytes({0x89, 0x3D}).dword(&d.out.edi);
  c.bytes({0x8F, 0x05}).dword(&d.out.slot);                           // pop [out.slot]
  c.bytes({0x8B, 0x25}).dword(&d.savedEsp);                           // mov esp, [savedEsp]
  c.bytes({0x9D, 0x61, 0xC3});                                        // popfd; popad; ret

  std::memcpy(code_, c.get().data(), c.get().size());
  // Like a game's code: executable and readable, not writable.
  DWORD old;
  VirtualProtect(code_, codeSize, PAGE_EXECUTE_READ, &old);
  FlushInstructionCache(GetCurrentProcess(), code_, codeSize);
}

SiteRoutine::~SiteRoutine() { VirtualFree(code_, 0, MEM_RELEASE); }

Registers SiteRoutine::run(const Registers& in) {
  data_->in = in;
  data_->out = {};
  data_->reachedAlternate = 0;
  reinterpret_cast<void (*)()>(code_ + entryOffset)();
  return data_->out;
}

std::vector<std::uint8_t> SiteRoutine::siteBytes(unsigned count) const {
  const auto* begin = reinterpret_cast<const std::uint8_t*>(std::uintptr_t{landmarks_.site});
  return {begin, begin + count};
}

}  // namespace hooktest
