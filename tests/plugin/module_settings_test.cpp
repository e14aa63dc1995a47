#include "plugin/module_settings.h"

#include <gtest/gtest.h>

#include "plugin/recorded_messages.h"
#include "plugin/temp_folder.h"

namespace {

TEST(ModuleSettings, WatchIsOnUnlessTurnedOff) {
  TempFolder folder;
  RecordedMessages messages;
  EXPECT_TRUE(readModuleSettings(folder.file("Velquor.ini")).watch) << "no file";
  const struct {
    const char* text;
    bool watch;
    const char* message;
  } cases[] = {
      {"watch=0\n", false, ""},
      {"\xEF\xBB\xBFwatch=0\r\n", false, ""},
      {"watch=1\n", true, ""},
      {"watch=2\n", true, ""},
      {"Watch=0\n", true, ""},
      {"# comment\nwatch=off\n", true, "line 2: watch=off: not a number"},
      {"watch=99999999999\n", true, "line 1: watch=99999999999: out of range: at most 4294967295"},
  };
  for (const auto& c : cases) {
    const std::string path = folder.write("Velquor.ini", c.text);
    EXPECT_EQ(readModuleSettings(path).watch, c.watch) << c.text;
    const auto shown = messages.shown();
    if (*c.message == '\0') continue;
    ASSERT_FALSE(shown.empty()) << c.text;
    EXPECT_EQ(shown.back(), (ShownMessage{c.message, path})) << c.text;
  }
  EXPECT_EQ(messages.shown().size(), 2u);
  EXPECT_FALSE(readModuleSettings(folder.file("none.ini")).names);
  EXPECT_TRUE(readModuleSettings(folder.write("Velquor.ini", "watch=0\nnames=1\n")).names);
}

}  // namespace

namespace {

TEST(ModuleSettings, PickKeysByNameOrNumber) {
  TempFolder folder;
  RecordedMessages messages;
  const PickKeys defaults;
  const std::string path = folder.write(
      "Velquor.ini", "pick_key=f8\npick_next_key=pagedown\npick_previous_key=45\npick_save_key=Shift\n");
  const PickKeys keys = readModuleSettings(path).pickKeys;
  EXPECT_EQ(keys.toggle, 0x77);
  EXPECT_EQ(keys.next, 0x22);
  EXPECT_EQ(keys.previous, 0x2D);
  EXPECT_EQ(keys.save, defaults.save) << "a bad value keeps the default";
  ASSERT_EQ(messages.shown().size(), 1u);
  EXPECT_EQ(messages.shown()[0].text.rfind("line 4: pick_save_key=Shift: not a key: F1 to F24", 0), 0u);
  for (int key : {defaults.toggle, defaults.next, defaults.previous, defaults.save, int('Q'), int('7'), 0x2E, 200})
    EXPECT_EQ(keyByName(keyName(key)), key) << keyName(key);
}

}  // namespace
