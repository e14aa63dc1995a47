#pragma once
// Every message the player sees goes through messageBox. The real one shows a Windows message
// box owned by the game's main window; tests replace it to record what would have been shown.
#include <functional>
#include <string>

using MessageBoxHandler =
    std::function<int(const std::string& text, const std::string& caption, unsigned type)>;

// Shows text under caption and blocks until the player closes the box; type is MB_OK (0) here.
int messageBox(const std::string& text, const std::string& caption, unsigned type = 0);

// Replaces the real message box for every caller; an empty handler restores it. Set it before
// the threads that show messages start.
void setMessageBoxHandler(MessageBoxHandler handler);
