// The stand-in's entry point, called by the launcher: reads the command line, runs the game,
// and turns a crash of anything inside it into a report and exit code 3.
#include <windows.h>

#include <cstdio>
#include <memory>

#include "game/scenario.h"
#include "game/standin_game.h"

namespace {

Standin::TraceWriter* crashTrace = nullptr;

LONG WINAPI reportCrash(EXCEPTION_POINTERS* info) {
  const auto code = static_cast<unsigned>(info->ExceptionRecord->ExceptionCode);
  const auto where = static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(info->ExceptionRecord->ExceptionAddress));
  std::fprintf(stderr, "standin: crash: exception 0x%08X at 0x%08X\n", code, static_cast<unsigned>(where));
  std::fflush(stderr);
  if (crashTrace) crashTrace->write(Standin::JsonLine("crash").hex("code", code).hex("address", where));
  TerminateProcess(GetCurrentProcess(), 3);
  return EXCEPTION_EXECUTE_HANDLER;
}

}  // namespace

extern "C" __declspec(dllexport) int standinRun(int argc, char** argv) {
  Standin::Scenario scenario;
  try {
    scenario = Standin::parseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
  } catch (const std::exception& e) {
    std::fprintf(stderr, "standin: %s\n", e.what());
    return 2;
  }
  SetUnhandledExceptionFilter(reportCrash);
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
  try {
    auto game = std::make_unique<Standin::Game>(scenario);
    crashTrace = &game->trace();
    const int result = game->run();
    std::fflush(stdout);
    crashTrace = nullptr;
    return result;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "standin: %s\n", e.what());
    return 2;
  }
}
