#include "framework/kel_cursor.h"

#include <windows.h>

#include <cstdint>
#include <vector>

#include "framework/process_instance.h"
#include "hook/memory.h"
#include "host/host.h"

namespace {

struct Patch {
  std::uint32_t address;
  std::vector<std::uint8_t> gameBytes;
  std::vector<std::uint8_t> shownBytes;
};

// The game's mouse code and what it becomes while the system cursor is shown.
const std::vector<Patch>& patches() {
  static const std::vector<Patch> table = {
      {Host::MouseCall1, {0xE8, 0x46, 0xF3, 0xFE, 0xFF}, {0x90, 0x90, 0x90, 0x90, 0x90}},
      {Host::MouseCall2, {0xE8, 0xB4, 0x7A, 0x20, 0x00}, {0x90, 0x90, 0x90, 0x90, 0x90}},
      {Host::MouseTest, {0x85, 0xC0, 0x0F, 0x8C}, {0x33, 0xC0, 0x0F, 0x84}},  // jl becomes an always-taken je
      {Host::MouseRoutine, {0xE9}, {0xC3}},                                    // returns at once
  };
  return table;
}

void* hostCode(std::uint32_t address) { return reinterpret_cast<void*>(static_cast<std::uintptr_t>(address)); }

void callHost(std::uint32_t address) { reinterpret_cast<void (*)()>(static_cast<std::uintptr_t>(address))(); }

}  // namespace

KelCursor::KelCursor() : cursorName(IDC_ARROW) {}

KelCursor::~KelCursor() { hide(); }

void KelCursor::writeShownBytes() {
  for (const Patch& patch : patches()) KelHook::copyCode(hostCode(patch.address), patch.shownBytes);
}

void KelCursor::writeGameBytes() {
  for (const Patch& patch : patches()) KelHook::copyCode(hostCode(patch.address), patch.gameBytes);
}

void KelCursor::resetGameMouse() {
  KelHook::fillCode(hostCode(Host::MouseState), 0, Host::MouseStateSize);
  callHost(Host::MouseResetRoutine1);
  callHost(Host::MouseResetRoutine2);
}

void KelCursor::applyWindowsCursor(const char* name) { SetCursor(LoadCursorA(nullptr, name)); }

void KelCursor::show() {
  writeShownBytes();
  shown = true;
  applyWindowsCursor(cursorName);
  shownSignal();
}

void KelCursor::show(const char* name) {
  setCursor(name);
  show();
}

void KelCursor::hide() {
  writeGameBytes();
  resetGameMouse();
  shown = false;
  applyWindowsCursor(nullptr);  // no cursor at all
  hiddenSignal();
}

void KelCursor::setShown(bool on) {
  if (on)
    show();
  else
    hide();
  visibilityChanged(on);
}

void KelCursor::setShown(bool on, const char* name) {
  setCursor(name);
  setShown(on);
}

bool KelCursor::isPatched() { return !isUnpatched(); }

bool KelCursor::isUnpatched() {
  for (const Patch& patch : patches()) {
    if (patch.gameBytes.size() == 1) {
      if (KelHook::readByte(patch.address) != patch.gameBytes[0]) return false;
    } else if (!KelHook::compareCode(hostCode(patch.address), patch.gameBytes)) {
      return false;
    }
  }
  return GetCursor() == nullptr;
}

bool KelCursor::isShown() { return shown; }
bool KelCursor::isHidden() { return !shown; }
bool KelCursor::isActive() { return shown && isPatched(); }
bool KelCursor::isInactive() { return !isActive(); }

void KelCursor::setCursor(const char* name) {
  cursorName = name;
  cursorChanged(name);
}

const char* KelCursor::getCursor() { return cursorName; }

void KelCursor::refresh() {
  if (shown) {
    if (isUnpatched()) writeShownBytes();
    resetGameMouse();
    applyWindowsCursor(cursorName);
    return;
  }
  if (!isPatched()) return;
  writeGameBytes();
  resetGameMouse();
  applyWindowsCursor(nullptr);
}

KelCursor* kelCursor() { return ProcessInstance<KelCursor>::get(); }

void deleteKelCursor() { ProcessInstance<KelCursor>::destroy(); }
