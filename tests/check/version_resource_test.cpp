// What Windows shows in the properties of Velquor.asi: read back through the version API.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "check/wine_path.h"

namespace {

class ModuleVersion : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string path = windowsPath(VELQUOR_ASI);
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeA(path.c_str(), &ignored);
    ASSERT_GT(size, 0u) << "no version resource in " << path;
    info_.resize(size);
    ASSERT_TRUE(GetFileVersionInfoA(path.c_str(), 0, size, info_.data()));
  }

  std::string text(const std::string& key) {
    void* value = nullptr;
    UINT length = 0;
    const std::string query = "\\StringFileInfo\\040904B0\\" + key;
    if (!VerQueryValueA(info_.data(), query.c_str(), &value, &length) || length == 0) return "(none)";
    return static_cast<const char*>(value);
  }

  std::vector<char> info_;
};

TEST_F(ModuleVersion, ProductNameAndVersionAreTheProjects) {
  EXPECT_EQ(text("ProductName"), "Velquor");
  EXPECT_EQ(text("FileVersion"), VELQUOR_VERSION);
  EXPECT_EQ(text("ProductVersion"), VELQUOR_VERSION);
  EXPECT_EQ(text("OriginalFilename"), "Velquor.asi");

  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueA(info_.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
  EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
  EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_DLL));
  const std::string numbers = std::to_string(HIWORD(fixed->dwFileVersionMS)) + "." +
                              std::to_string(LOWORD(fixed->dwFileVersionMS)) + "." +
                              std::to_string(HIWORD(fixed->dwFileVersionLS));
  EXPECT_EQ(numbers, VELQUOR_VERSION);
  EXPECT_EQ(LOWORD(fixed->dwFileVersionLS), 0);
}

}  // namespace
