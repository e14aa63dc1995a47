#include "plugin/device_names.h"

#include <gtest/gtest.h>

namespace {

TEST(DeviceNames, WhatWindowsOpensAsADevice) {
  for (const char* device :
       {"aux", "aux.gif", "AUX.GIF", "Aux.cfg", "con.gif", "nul.gif", "prn.gif", "com1.gif",
        "COM9.gif", "com0.gif", "lpt1.gif", "LPT9.cfg", "lpt0.gif", "conin$.gif", "CONOUT$.gif",
        "aux.tar.gif", "aux .gif", "aux  .gif", "aux..gif", "aux:stream.gif",
        "com\xC2\xB9.gif", "LPT\xC2\xB2.gif", "com\xC2\xB3.gif"})
    EXPECT_TRUE(isDeviceName(device)) << device;
  for (const char* file :
       {"auxx.gif", "xaux.gif", "au.gif", "aux_1.gif", " aux.gif", "com.gif", "com10.gif",
        "com1a.gif", "lpt.gif", "conin.gif", "console.gif", "nul1.gif", "com\xC2\xB4.gif",
        "fire.gif", "a.b.gif", "", ".gif"})
    EXPECT_FALSE(isDeviceName(file)) << file;
}

}  // namespace
