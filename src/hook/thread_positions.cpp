#include "hook/thread_positions.h"

#include <windows.h>
#include <tlhelp32.h>

namespace KelHook {

namespace {

// The threads of this process but the calling one, opened; false if one could not be opened
// while it still exists.
bool openOtherThreads(std::vector<HANDLE>& threads) {
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return false;
  const DWORD process = GetCurrentProcessId();
  const DWORD self = GetCurrentThreadId();
  bool all = true;
  THREADENTRY32 entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
    if (entry.th32OwnerProcessID != process || entry.th32ThreadID == self) continue;
    HANDLE thread = OpenThread(THREAD_SUSPEND_RESUME | THREAD_GET_CONTEXT | SYNCHRONIZE, FALSE, entry.th32ThreadID);
    if (thread != nullptr) threads.push_back(thread);
    else if (GetLastError() != ERROR_INVALID_PARAMETER) all = false;  // not one that has ended
  }
  CloseHandle(snapshot);
  return all;
}

}  // namespace

bool otherThreadPositions(std::vector<std::uint32_t>& positions) {
  positions.clear();
  std::vector<HANDLE> threads;
  bool all = openOtherThreads(threads);
  positions.reserve(threads.size());
  for (HANDLE thread : threads) {
    CONTEXT context{};
    context.ContextFlags = CONTEXT_CONTROL;
    if (SuspendThread(thread) != static_cast<DWORD>(-1)) {
      if (GetThreadContext(thread, &context)) positions.push_back(context.Eip);
      else all = false;
      ResumeThread(thread);
    } else if (WaitForSingleObject(thread, 0) != WAIT_OBJECT_0) {
      all = false;  // still running, yet not stopped
    }
    CloseHandle(thread);
  }
  return all;
}

ThreadLook lookAtStoppedThread(std::uint32_t id,
                                const std::function<void(std::uint32_t eip, std::uint32_t ecx)>& look) {
  HANDLE thread = OpenThread(THREAD_SUSPEND_RESUME | THREAD_GET_CONTEXT | SYNCHRONIZE, FALSE, id);
  if (thread == nullptr) return GetLastError() == ERROR_INVALID_PARAMETER ? ThreadLook::Ended : ThreadLook::Failed;
  ThreadLook result = ThreadLook::Failed;
  if (SuspendThread(thread) != static_cast<DWORD>(-1)) {
    // Once it is stopped, every store it made is seen here.
    CONTEXT context{};
    context.ContextFlags = CONTEXT_CONTROL | CONTEXT_INTEGER;
    if (GetThreadContext(thread, &context)) {
      look(context.Eip, context.Ecx);
      result = ThreadLook::Looked;
    }
    ResumeThread(thread);
  } else if (WaitForSingleObject(thread, 0) == WAIT_OBJECT_0) {
    result = ThreadLook::Ended;
  }
  CloseHandle(thread);
  return result;
}

}  // namespace KelHook
