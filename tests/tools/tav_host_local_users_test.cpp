// `tav-host` against other local users: links and shared folders at the lockfile and the data
// file, changes made to the data file behind its back, and a folder lock held by someone else.
#include "tools/tav_host_process.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <thread>

namespace tav::testtools {
namespace {

namespace fs = std::filesystem;

std::string folderWithMode(const TemporaryFolder& parent, const std::string& name, mode_t mode) {
  const std::string path = parent.file(name);
  fs::create_directory(path);
  ::chmod(path.c_str(), mode);
  return path;
}

TEST(TavHostLocalUsers, NeverWritesOrRemovesAFileThroughALinkOrInAFolderOthersMaySwapFilesIn) {
  TAV_REQUIRE_TOOL();
  TemporaryFolder folder;
  const std::string victim = folder.write("victim", "precious\n");
  const std::string shared = folderWithMode(folder, "shared", 0777);
  const std::string sticky = folderWithMode(folder, "sticky", 01777);
  const std::string data = folder.write("shared/sondar.json", sampleText());
  struct Case {
    const char* what;
    std::string lockfile;
    std::vector<std::string> args;
    int exitCode; // 0: serves
    const char* reason;
  };
  fs::create_symlink(victim, folder.file("linked.lock"));
  fs::create_symlink(folder.file("absent"), folder.file("dangling.lock"));
  const std::vector<Case> cases = {
      {"a link to a file of the user", folder.file("linked.lock"), {}, 6, "is a symbolic link"},
      {"a link to where nothing is yet", folder.file("dangling.lock"), {}, 6, "is a symbolic link"},
      {"a folder others may write", shared + "/tav.lock", {}, 6, "others may write"},
      {"a data file in such a folder",
       folder.file("ok.lock"),
       {"--data", data},
       5,
       "others may write"},
      {"a sticky folder others may write", sticky + "/tav.lock", {}, 0, ""},
  };
  for (const Case& one : cases) {
    SCOPED_TRACE(one.what);
    ServedHost served;
    served.useLockfile(one.lockfile);
    const bool serving = served.start(one.args);
    EXPECT_EQ(serving ? 0 : served.earlyExit().value_or(-1), one.exitCode) << served.failure();
    EXPECT_NE(served.errors().find(one.reason), std::string::npos) << served.errors();
    if (serving) {
      struct stat status {};
      ASSERT_EQ(::lstat(one.lockfile.c_str(), &status), 0);
      EXPECT_EQ(status.st_mode & 07777, 0600u);
      served.signal(SIGTERM);
      EXPECT_EQ(served.waitForExit(), 0);
    }
  }
  EXPECT_EQ(readFile(victim), "precious\n");
  EXPECT_TRUE(fs::is_symlink(folder.file("linked.lock")));
  EXPECT_FALSE(fs::exists(folder.file("absent")));
  EXPECT_EQ(readFile(data), sampleText());
}

TEST(TavHostLocalUsers, ADataFileChangedOnDiskIsNeitherOverwrittenNorFollowedToAnotherFile) {
  TAV_REQUIRE_TOOL();
  TemporaryFolder folder;
  const std::string data = folder.file("sondar.json");
  const std::string victim = folder.write("victim", "precious\n");
  struct Case {
    const char* what;
    std::function<void()> change;
    std::string left; // what the data file holds afterwards
  };
  const std::vector<Case> cases = {
      {"moved away, a link to another file put in its place",
       [&] {
         fs::rename(data, folder.file("moved.json"));
         fs::create_symlink(victim, data);
       },
       "precious\n"},
      {"edited in place", [&] { std::ofstream(data, std::ios::app) << " "; }, sampleText() + " "},
      {"replaced by another file", [&] { fs::rename(folder.write("other.json", "{}\n"), data); },
       "{}\n"},
  };
  for (const Case& one : cases) {
    SCOPED_TRACE(one.what);
    fs::remove(data);
    folder.write("sondar.json", sampleText());
    ServedHost served;
    ASSERT_TRUE(served.start({"--data", data})) << served.failure();
    one.change();
    const httplib::Result put = served.client().Put(kEquipSwitch, "false", "application/json");
    EXPECT_EQ(put ? put->status : -1, 500);
    EXPECT_NE((put ? put->body : "").find("was changed on disk"), std::string::npos);
    EXPECT_EQ(readFile(data), one.left);
    served.signal(SIGTERM);
    EXPECT_EQ(served.waitForExit(), 5) << "serve ends telling that a save failed";
  }
  EXPECT_EQ(readFile(victim), "precious\n");
}

TEST(TavHostLocalUsers, ServeStopsOnSigtermWhileAnotherProcessHoldsTheLockfilesFolder) {
  TAV_REQUIRE_TOOL();
  ServedHost served;
  const int folder = ::open(fs::path(served.lockfile()).parent_path().c_str(), O_RDONLY);
  ASSERT_EQ(::flock(folder, LOCK_EX), 0);
  ASSERT_TRUE(served.launch());
  const auto deadline = std::chrono::steady_clock::now() + kPatience;
  while (served.errors().find("waiting for another process's lock") == std::string::npos &&
         std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  served.signal(SIGTERM);
  EXPECT_EQ(served.waitForExit(), 6);
  EXPECT_NE(served.errors().find("stopped while waiting for the lock"), std::string::npos)
      << served.errors();
  EXPECT_FALSE(fs::exists(served.lockfile()));
  ::close(folder);
}

} // namespace
} // namespace tav::testtools
