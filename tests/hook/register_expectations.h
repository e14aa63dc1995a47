#pragma once
// What a hooked pass must leave as an unhooked pass would: every register, the stack pointer,
// the stack slot the site reads and, where the hook saves them, the flags.
#include <gtest/gtest.h>

#include "site_routine.h"

namespace hooktest {

inline void expectSameRegisters(const Registers& expected, const Registers& actual, bool flags) {
  EXPECT_EQ(expected.eax, actual.eax);
  EXPECT_EQ(expected.ecx, actual.ecx);
  EXPECT_EQ(expected.edx, actual.edx);
  EXPECT_EQ(expected.ebx, actual.ebx);
  EXPECT_EQ(expected.esp, actual.esp);
  EXPECT_EQ(expected.ebp, actual.ebp);
  EXPECT_EQ(expected.esi, actual.esi);
  EXPECT_EQ(expected.edi, actual.edi);
  EXPECT_EQ(expected.slot, actual.slot);
  if (flags) {
    EXPECT_EQ(expected.eflags & comparedFlags, actual.eflags & comparedFlags);
  }
}

}  // namespace hooktest
