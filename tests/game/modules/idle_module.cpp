// A module that does nothing: loading and unloading it must leave the game as it was.
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
