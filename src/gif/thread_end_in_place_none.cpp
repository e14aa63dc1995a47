// Outside Windows the module's code never goes away under a running thread: the thread simply
// returns.
#include "gif/decode_worker.h"

void endThreadInPlace() noexcept {}
