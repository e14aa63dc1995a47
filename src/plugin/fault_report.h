#pragma once
// Nothing may leave the module's callbacks into the game: what cannot be handled where it
// happens is written to the descent log, naming the place.
#include <exception>
#include <string>

void logFault(const char* where, const std::exception& error);
void logUnknownFault(const char* where);
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
