#pragma once
// Every message the player sees goes through messageBox. The real one shows a Windows message
// box owned by the game's main window; tests replace it to record what would have been shown.
#include <functional>
#include <string>
#include <vector>

using MessageBoxHandler =
    std::function<int(const std::string& text, const std::string& caption, unsigned type)>;

// Shows text under caption and blocks until the player closes the box; type is MB_OK (0) here.
int messageBox(const std::string& text, const std::string& caption, unsigned type = 0);

// While one of these lives, messages shown on the thread that made it are kept instead of shown
// (messageBox returns IDOK). A thread that the game's main thread is waiting for must not show a
// box owned by the game window: making it talks to the window's thread, which cannot answer.
class DeferredMessageBoxes {
 public:
  struct Message {
    std::string text;
    std::string caption;
    unsigned type;
  };
  DeferredMessageBoxes();
  ~DeferredMessageBoxes();
  DeferredMessageBoxes(const DeferredMessageBoxes&) = delete;
  DeferredMessageBoxes& operator=(const DeferredMessageBoxes&) = delete;

  std::vector<Message> take();

 private:
  friend int messageBox(const std::string& text, const std::string& caption, unsigned type);
  std::vector<Message> kept_;
  DeferredMessageBoxes* outer_;
};

// Shows the kept messages, in order, on the calling thread.
void showMessageBoxes(const std::vector<DeferredMessageBoxes::Message>& messages);

// Inside one of the game's draw calls a modal box would stop the game half-way through its frame:
// a message met there is kept, in order, until the game loop shows it with
// showGameLoopMessageBoxes. Both on the game's thread.
void messageBoxFromGameLoop(const std::string& text, const std::string& caption);
void showGameLoopMessageBoxes();

// Replaces the real message box for every caller; an empty handler restores it. Set it before
// the threads that show messages start.
void setMessageBoxHandler(MessageBoxHandler handler);
