#pragma once
// Where the process's other threads are about to execute. A stub block that no patch leads to
// any more may still hold a thread that entered it just before the patch was taken away: one
// stopped between the patch's call and the stub's first count, or between a busy pass's
// count-down and its last jump. No counter can see such a thread; its instruction pointer can.
// A thread found outside a retired block cannot come back into it: nothing leads there.
#include <cstdint>
#include <functional>
#include <vector>

namespace KelHook {

// Each other thread is stopped in turn just long enough to read its instruction pointer (nothing
// is allocated while one is stopped, so a lock it holds is never waited for). False when the
// threads could not all be looked at: the caller must then assume the worst.
bool otherThreadPositions(std::vector<std::uint32_t>& positions);

enum class ThreadLook { Looked, Ended, Failed };
// Stops the thread `id` (another than the caller), calls `look` with its next instruction's
// address and its ECX while it is stopped, and lets it run on. `look` must allocate nothing and
// take no lock: the stopped thread may hold it. Ended: the thread is gone; Failed: it could not
// be stopped and looked at.
ThreadLook lookAtStoppedThread(std::uint32_t id, const std::function<void(std::uint32_t eip, std::uint32_t ecx)>& look);

}  // namespace KelHook
