#pragma once
// Nothing may leave the module's callbacks into the game: what cannot be handled where it
// happens is written to the descent log, naming the place.
#include <exception>
#include <string>

void logFault(const char* where, const std::exception& error);
void logUnknownFault(const char* where);
// A message shown (or left out) at start, a line of the log for each line of its text.
void logMessage(const std::string& caption, const std::string& text);
// The descent log's file name, for messages that point the player to it.
std::string logFileName();
// One line about a file that the player may want to know of, when no box is due.
void logProblem(const std::string& text) noexcept;

// Runs work; logs and swallows whatever it throws. For callbacks the game calls.
template <typename Work>
void guarded(const char* where, Work&& work) noexcept {
  try {
    work();
  } catch (const std::exception& e) {
    logFault(where, e);
  } catch (...) {
    logUnknownFault(where);
  }
}
