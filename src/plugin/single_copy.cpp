#include "plugin/single_copy.h"

#include <windows.h>

#include <string>

namespace {

HANDLE claim = nullptr;

// Named after the process: other processes (another game, the checker) keep their own.
std::wstring claimName() { return L"Local\\Velquor.asi-" + std::to_wstring(GetCurrentProcessId()); }

}  // namespace

bool claimProcess() {
  if (claim != nullptr) return true;
  HANDLE made = CreateMutexW(nullptr, FALSE, claimName().c_str());
  if (made == nullptr) return true;  // no claim can be had: act, as a lone copy would
  if (GetLastError() == ERROR_ALREADY_EXISTS) {
    CloseHandle(made);
    return false;
  }
  claim = made;
  return true;
}

void releaseProcessClaim() {
  if (claim == nullptr) return;
  CloseHandle(claim);
  claim = nullptr;
}
