#pragma once
// One copy of the module acts in a process. A player may leave two .asi files of it (an old
// name and a new one): the second copy to load stays inert, so the game's code is patched once,
// every texture is swapped once and each message box comes once.

// True for the first copy to ask in this process (and for a copy asking again after the first
// gave its claim up).
bool claimProcess();
// Gives the claim up; a copy that has none does nothing.
void releaseProcessClaim();
