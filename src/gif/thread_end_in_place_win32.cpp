// The thread ends inside the system, so that no code of this module runs after the module's
// unloading has been let go on.
#include <windows.h>

#include "gif/decode_worker.h"

void endThreadInPlace() noexcept { ExitThread(0); }
