#pragma once
// Names that Windows takes for devices wherever they stand: opening "Velquor/aux.gif" opens the
// auxiliary device, which can block for ever, not a file. Such names are never opened.
#include <string_view>

// True when Windows reads the file name (no folder part; UTF-8) as a device: con, prn, aux,
// nul, conin$, conout$, com0 to com9 and lpt0 to lpt9 (also with the superscript digits 1, 2
// and 3), in any letter case, whatever follows a dot or a colon, and with spaces before it.
bool isDeviceName(std::string_view fileName);
