// The line log: created by the first line, bounded lines, dropped lines while it cannot open.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include <direct.h>

#include "framework/line_log.h"

namespace {

std::string readFile(const std::string& path) {
  std::ifstream file(path);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

bool exists(const std::string& path) { return std::ifstream(path).good(); }

}  // namespace

TEST(LineLog, FileIsCreatedByTheFirstLineAndTruncatedThen) {
  const std::string path = "line_log_first.log";
  { std::ofstream(path) << "stale\n"; }
  {
    LineLog log(path);
    EXPECT_EQ(readFile(path), "stale\n");  // nothing happens before the first line
    log.write("%s %d %X", "one", 2, 0xABCu);
    log.write("second");
    EXPECT_EQ(readFile(path), "one 2 ABC\nsecond\n");  // flushed at once
  }
  std::remove(path.c_str());
}

TEST(LineLog, LongMessageIsCutToTheBuffer) {
  const std::string path = "line_log_long.log";
  {
    LineLog log(path);
    std::string huge(10000, 'x');
    log.write("%s", huge.c_str());
  }
  EXPECT_EQ(readFile(path), std::string(LineLog::MessageCapacity - 1, 'x') + "\n");
  std::remove(path.c_str());
}

TEST(LineLog, LinesAreDroppedUntilTheFileCanBeOpened) {
  const std::string folder = "line_log_missing_folder";
  const std::string path = folder + "/late.log";
  std::remove(path.c_str());
  _rmdir(folder.c_str());
  LineLog log(path);
  log.write("dropped");
  EXPECT_FALSE(log.isOpen());
  EXPECT_FALSE(exists(path));

  ASSERT_EQ(_mkdir(folder.c_str()), 0);
  log.write("kept");
  EXPECT_TRUE(log.isOpen());
  EXPECT_EQ(readFile(path), "kept\n");
}

TEST(LineLog, FileNameIsCutAfterTheLastSeparator) {
  EXPECT_EQ(fileNameOfPath("C:\\Games\\gta\\Velquor.asi"), "Velquor.asi");
  EXPECT_EQ(fileNameOfPath("/home/a/b/Velquor.asi"), "Velquor.asi");
  EXPECT_EQ(fileNameOfPath("C:\\mixed/part\\name.asi"), "name.asi");
  EXPECT_EQ(fileNameOfPath("bare.asi"), "bare.asi");
  EXPECT_EQ(moduleFileName(), "framework_descent_tests.exe");
}
