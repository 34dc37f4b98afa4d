// The version resource of the built tav_banners.dll, read back through Windows' version functions
// as Explorer's properties and the client's crash reports read it.
#include "host/testing/built_plugin.h"

#include <windows.h>
#include <winver.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

class BannersVersionResource : public ::testing::Test {
protected:
  void SetUp() override {
    const std::optional<std::string> path =
        tav::testhost::builtLibraryPath(tav::testhost::kBannersLibrary);
    if (!path) {
      GTEST_SKIP() << tav::testhost::kBannersLibrary << " is not in the build folder";
    }
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeA(path->c_str(), &ignored);
    ASSERT_GT(size, 0u) << "no version resource in " << *path;
    block_.resize(size);
    ASSERT_TRUE(GetFileVersionInfoA(path->c_str(), 0, size, block_.data()));
  }

  // The text under key in the resource's one language block (US English, Unicode), or "" when
  // it is missing.
  std::string text(const char* key) const {
    const std::string path = std::string("\\StringFileInfo\\040904B0\\") + key;
    void* value = nullptr;
    UINT length = 0;
    if (!VerQueryValueA(block_.data(), path.c_str(), &value, &length) || value == nullptr) {
      return {};
    }
    return static_cast<const char*>(value);
  }

  std::vector<char> block_;
};

TEST_F(BannersVersionResource, CarriesTheProjectVersionInBothForms) {
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueA(block_.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
  ASSERT_EQ(length, sizeof(VS_FIXEDFILEINFO));
  EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
  const auto numbers = [](DWORD high, DWORD low) {
    return std::to_string(HIWORD(high)) + "." + std::to_string(LOWORD(high)) + "." +
           std::to_string(HIWORD(low)) + "." + std::to_string(LOWORD(low));
  };
  // The project's version has three numbers; the binary fields always hold four.
  EXPECT_EQ(numbers(fixed->dwFileVersionMS, fixed->dwFileVersionLS), TAV_PROJECT_VERSION ".0");
  EXPECT_EQ(numbers(fixed->dwProductVersionMS, fixed->dwProductVersionLS),
            TAV_PROJECT_VERSION ".0");
  EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_DLL));

  EXPECT_EQ(text("FileVersion"), TAV_PROJECT_VERSION);
  EXPECT_EQ(text("ProductVersion"), TAV_PROJECT_VERSION);
}

TEST_F(BannersVersionResource, NamesTheProductAndTheLibrary) {
  EXPECT_EQ(text("ProductName"), "tav-banners");
  EXPECT_EQ(text("FileDescription"), "tav-banners: banner flags and frames of the current sondar");
  EXPECT_EQ(text("OriginalFilename"), "tav_banners.dll");
}

} // namespace
