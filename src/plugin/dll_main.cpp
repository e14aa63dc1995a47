// The module's entry point. Loading installs one hook on the game's main loop; each pass through
// it makes sure the framework exists and, once the game has loaded Direct3D 9, makes the texture
// manager. Unloading takes everything down again, in an order that lets each object disconnect
// from the ones it used. A second copy of the module in the same process does nothing at all.
#include <windows.h>

#include "framework/kel_cursor.h"
#include "framework/kel_events.h"
#include "framework/kel_render_events.h"
#include "hook/hook.h"
#include "host/host.h"
#include "plugin/asi_plugin.h"
#include "plugin/fault_report.h"
#include "plugin/module_objects.h"
#include "plugin/single_copy.h"

namespace {

bool pluginCreated = false;
bool active = false;  // this copy claimed the process

// Made at the first call of the entry point, destroyed with the module's other statics.
KelHook::Hook<>& initHook() {
  static KelHook::Hook<> hook(Host::MainLoopCall, Host::MainLoopCallSize, "");
  return hook;
}

bool isLoaded(HMODULE module) { return module != nullptr && module != INVALID_HANDLE_VALUE; }

void initCallback() {
  guarded("initCallback", [] {
    kelCursor();
    if (renderEvents == nullptr) renderEvents = new KelRenderEvents();
    if (isLoaded(GetModuleHandleA("d3d9.dll")) && !pluginCreated) {
      // Once only, even when making the manager fails.
      pluginCreated = true;
      events = kelEvents();
      plugin = new AsiPlugin();
    }
  });
}

void unload(bool processEnding) {
  // The manager goes first: it disconnects from the events hub and the render events.
  guarded("unload: hook", [] { initHook().remove(); });
  guarded("unload: manager", [] {
    delete plugin;
    plugin = nullptr;
  });
  guarded("unload: decoder", [processEnding] { endDecodeWorker(processEnding); });
  guarded("unload: cursor", [] { deleteKelCursor(); });
  guarded("unload: events", [] {
    deleteKelEvents();
    events = nullptr;
  });
  guarded("unload: render events", [] {
    delete renderEvents;
    renderEvents = nullptr;
  });
}

}  // namespace

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID reserved) {
  guarded("DllMain", [reason, reserved] {
    if (reason == DLL_PROCESS_ATTACH) {
      active = claimProcess();
      if (!active) return;
      KelHook::Hook<>& hook = initHook();
      hook.install(0, 0, true, KelHook::Stack{nullptr, 0});
      hook.onBefore.connect(std::function<void()>(initCallback));
    } else if (reason == DLL_PROCESS_DETACH && active) {
      // Not null: the process is ending, its other threads are gone already.
      unload(reserved != nullptr);
      releaseProcessClaim();
    }
  });
  return TRUE;
}
