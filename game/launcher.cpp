// standin.exe: the game's image. Its code is only this launcher; the section below reserves,
// zero-filled, every address the module knows of the game (0x4CC979 up to 0xC97C28 and the
// stand-in's own data just above), and everything else lives in standin_core.dll so that no
// section of ours lands on a game address.
extern "C" __declspec(dllimport) int standinRun(int argc, char** argv);

// Uninitialised ("b"), writable and executable: costs nothing in the file.
asm(".section .game,\"bwx\"\n"
    ".balign 4096\n"
    "standinGameImage:\n"
    ".space 0x900000\n"
    ".text\n");

int main(int argc, char** argv) { return standinRun(argc, argv); }
