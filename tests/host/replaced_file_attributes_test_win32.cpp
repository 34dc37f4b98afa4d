// A file replaced on Windows keeps the attributes it had, as the replacement promises.
#include "host/atomic_file.h"
#include "host/temporary_folder.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <filesystem>
#include <fstream>

namespace tav::host {
namespace {

TEST(ReplacedFileAttributes, SurviveTheReplacement) {
  const std::string folder = makeTemporaryFolder("tav-attributes-");
  ASSERT_FALSE(folder.empty());
  const std::string path = folder + "\\sondar.json";
  std::ofstream(path) << "old";
  ASSERT_TRUE(SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE));

  std::string error;
  ASSERT_TRUE(replaceFileAtomically(path, "new", &error)) << error;
  EXPECT_EQ(GetFileAttributesA(path.c_str()) & FILE_ATTRIBUTE_HIDDEN,
            static_cast<DWORD>(FILE_ATTRIBUTE_HIDDEN));
  std::string contents;
  std::getline(std::ifstream(path), contents);
  EXPECT_EQ(contents, "new");
  SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  std::filesystem::remove_all(folder);
}

} // namespace
} // namespace tav::host
