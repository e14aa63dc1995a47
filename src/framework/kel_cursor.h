#pragma once
// Shows and hides the Windows mouse cursor over the game. While it is shown, four pieces of the
// game's mouse code are switched off; hiding puts the game's own bytes back, clears the game's
// mouse state and lets the game re-read the mouse.
#include "framework/kel_signal.h"

class KelCursor {
 public:
  KelCursor();
  virtual ~KelCursor();
  KelCursor(const KelCursor&) = delete;
  KelCursor& operator=(const KelCursor&) = delete;

  virtual void show();
  virtual void show(const char* name);
  virtual void hide();
  virtual void setShown(bool on);
  virtual void setShown(bool on, const char* name);
  virtual bool isPatched();
  virtual bool isUnpatched();
  virtual bool isShown();
  virtual bool isHidden();
  virtual bool isActive();
  virtual bool isInactive();
  virtual void setCursor(const char* name);
  virtual const char* getCursor();
  // Brings the game's code back in line with the shown state when something else changed it.
  virtual void refresh();

  KelSignal<> shownSignal;
  KelSignal<> hiddenSignal;
  KelSignal<bool> visibilityChanged;
  KelSignal<const char*> cursorChanged;

 private:
  void writeShownBytes();
  void writeGameBytes();
  void resetGameMouse();
  void applyWindowsCursor(const char* name);

  const char* cursorName;
  bool shown = false;
};

// The process's cursor control, created on first call.
KelCursor* kelCursor();
// Deletes it (the game is left hidden, with its own bytes) and clears the pointer.
void deleteKelCursor();
