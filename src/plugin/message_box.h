#pragma once
// Every message the player sees goes through messageBox. The real one shows a Windows message
// box owned by the game's main window; tests replace it to record what would have been shown.
#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
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

// A folder full of bad files must not keep the player clicking: of the problems found while the
// module starts (one message per file), the player sees at most MaxBoxesAtStart boxes, each at
// most MaxLinesInBox lines long. What is left out is counted in the last box, which points to the
// log: every problem is written there in full.
constexpr std::size_t MaxBoxesAtStart = 5;
constexpr std::size_t MaxLinesInBox = 10;

// The boxes to show for these problems, in order; logFile is the log's file name.
std::vector<DeferredMessageBoxes::Message> boxesShownAtStart(
    const std::vector<DeferredMessageBoxes::Message>& problems, std::string_view logFile);

// Inside one of the game's draw calls a modal box would stop the game half-way through its frame:
// a message met there is kept, in order, until the game loop shows it with
// showGameLoopMessageBoxes. Both on the game's thread.
void messageBoxFromGameLoop(const std::string& text, const std::string& caption);
void showGameLoopMessageBoxes();

// Replaces the real message box for every caller; an empty handler restores it. Set it before
// the threads that show messages start.
void setMessageBoxHandler(MessageBoxHandler handler);
