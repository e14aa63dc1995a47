// A tiny DLL whose exported function starts with an instruction the hook's length table knows,
// for hooks addressed relative to a module.
#include <cstdint>

extern "C" __declspec(dllexport) std::uint32_t moduleSite();

// mov eax, 0x1234; ret
__attribute__((naked)) std::uint32_t moduleSite() {
  asm("movl $0x1234, %eax\n\t"
      "ret");
}
