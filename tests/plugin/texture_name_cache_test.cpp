#include "plugin/texture_name_cache.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace {

// 88 bytes like the game's texture record, the name at 16; bytes around it are not zero.
struct Record {
  unsigned char bytes[88];
  Record() { std::memset(bytes, 0x5A, sizeof bytes); }
  // Writes exactly size bytes of text into the name field, the rest of the field left as given.
  void write(const char* text, std::size_t size) { std::memcpy(bytes + Host::TextureNameOffset, text, size); }
  void name(const std::string& text) {
    std::memset(bytes + Host::TextureNameOffset, 0, Host::TextureNameSize);
    write(text.data(), text.size());
  }
};

// A catalogue that counts its lookups.
struct Lookup {
  std::map<std::string, int, std::less<>> catalogue;
  int lookups = 0;
  int* operator()(std::string_view name) {
    ++lookups;
    const auto found = catalogue.find(name);
    return found == catalogue.end() ? nullptr : &found->second;
  }
};

TEST(TextureNameCache, AReusedRecordIsLookedUpAgainWhenItsNameChanges) {
  Lookup lookup;
  const std::string longName = "a_long_texture_name_number_0001";  // 31 characters
  const std::string full = "abcdefghijklmnopqrstuvwxyz012345";     // all 32 bytes, no zero
  for (const char* name : {"fire", "water", "a_long_texture_name_number_0001", "", "abcdefghijklmnopqrstuvwxyz012345"})
    lookup.catalogue[name] = static_cast<int>(lookup.catalogue.size()) + 1;
  TextureNameCache<int> cache;
  Record record;
  auto find = [&] { return cache.find(record.bytes, std::ref(lookup)); };
  auto valueOf = [&](const std::string& name) -> int* {
    const auto found = lookup.catalogue.find(name);
    return found == lookup.catalogue.end() ? nullptr : &found->second;
  };

  struct Step {
    const char* what;
    std::string name;
    bool looksUp;
  };
  const std::vector<Step> steps = {
      {"first use", "fire", true},
      {"same name", "fire", false},
      {"not catalogued", "smoke", true},
      {"not catalogued, again", "smoke", false},
      {"the record now holds another texture", "water", true},
      {"back", "fire", true},
      {"letter case differs", "Fire", true},
      {"differs only in its last character", "a_long_texture_name_number_0002", true},
      {"31 characters", longName, true},
      {"empty name", "", true},
  };
  for (const Step& step : steps) {
    record.name(step.name);
    const int before = lookup.lookups;
    EXPECT_EQ(find(), valueOf(step.name)) << step.what;
    EXPECT_EQ(lookup.lookups - before, step.looksUp ? 1 : 0) << step.what;
  }

  // A name that fills all 32 bytes ends there, whatever follows it in the record.
  record.write(full.data(), full.size());
  EXPECT_EQ(find(), valueOf(full));
  // Bytes after the terminating zero are not part of the name.
  record.name("fire");
  record.write("fire\0junk", 9);
  EXPECT_EQ(find(), valueOf("fire"));

  // What a name resolves to changed: only a cleared cache sees it.
  record.name("smoke");
  EXPECT_EQ(find(), nullptr);
  lookup.catalogue["smoke"] = 99;
  cache.clear();
  EXPECT_EQ(find(), valueOf("smoke"));
}

TEST(TextureNameCache, ManyRecordsKeepTheirOwnNamesAsTheyAreRenamed) {
  Lookup lookup;
  char name[32];
  for (int i = 0; i < 20000; i += 3) {
    std::snprintf(name, sizeof name, "t%05d", i);
    lookup.catalogue[name] = i;
  }
  TextureNameCache<int> cache;
  std::vector<Record> records(10000);  // more than the slots: records meet in slots
  for (int shift : {0, 0, 7, 1}) {
    for (std::size_t i = 0; i < records.size(); ++i) {
      std::snprintf(name, sizeof name, "t%05d", static_cast<int>(i) + shift);
      records[i].name(name);
    }
    int wrong = 0;
    for (int pass = 0; pass < 2; ++pass) {
      for (std::size_t i = 0; i < records.size(); ++i) {
        const int number = static_cast<int>(i) + shift;
        const int* value = cache.find(records[i].bytes, std::ref(lookup));
        wrong += number % 3 == 0 ? (value == nullptr || *value != number) : value != nullptr;
      }
    }
    EXPECT_EQ(wrong, 0) << "names shifted by " << shift;
  }
}

}  // namespace
