// The module's own file name, from the handle of the module that holds this code (the plug-in
// inside the game, or a test program).
#include <windows.h>

#include "framework/line_log.h"

std::string moduleFileName() {
  HMODULE self = nullptr;
  GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCSTR>(&moduleFileName), &self);
  char path[MAX_PATH] = {};
  DWORD length = GetModuleFileNameA(self, path, MAX_PATH);
  return fileNameOfPath(std::string(path, length < MAX_PATH ? length : MAX_PATH));
}
