// The embedded engine's configuration folder: made once and found again, refused where another
// user could swap it, and made private to the process where another user holds its name.
#include "config/embedded_engine.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "config/config_file.h"

namespace xg {
namespace {

namespace fs = std::filesystem;

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

class EmbeddedEngineFolder : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = "/tmp/xg-engine-XXXXXX";
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    base_ = pattern;
    parent_ = base_ + "/parent";
    installed_ = base_ + "/installed";
    fs::create_directories(parent_);
    fs::create_directories(installed_ + "/intl");
    std::ofstream(installed_ + "/intl/libfbintl.so") << "module";
  }
  void TearDown() override { fs::remove_all(base_); }

  std::string Prepare() { return PrepareFolder().path; }
  EngineFolder PrepareFolder() {
    return PrepareEmbeddedEngineFolder(patterns_, included_, parent_, installed_);
  }
  long Entries() const {
    return std::distance(fs::directory_iterator(parent_), fs::directory_iterator());
  }
  std::string FailureOfPrepare() {
    try {
      Prepare();
    } catch (const EConfigError& e) {
      return e.Message();
    }
    return "(prepared)";
  }

  std::vector<std::string> patterns_{"/srv/xg/*.fdb", "/srv/xg/demo.fdb", "/data/a.fdb"};
  std::string included_ = "/etc/firebird/3.0/firebird.conf";
  std::string base_, parent_, installed_;
};

TEST_F(EmbeddedEngineFolder, IsMadeOnceWithTheSettingsAndFoundAgain) {
  const std::string folder = Prepare();
  EXPECT_EQ(fs::path(folder).parent_path(), parent_);
  struct stat status;
  ASSERT_EQ(lstat(folder.c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 07777, 0700u);
  const std::string settings = ReadFile(folder + "/firebird.conf");
  EXPECT_NE(settings.find("\nDatabaseAccess = Restrict /data;/srv/xg\n"), std::string::npos)
      << settings;
  for (const char* line : {"\nServerMode = SuperClassic\n", "\nExternalFileAccess = None\n",
                           "\nUdfAccess = None\n", "\nProviders = Engine12\n"})
    EXPECT_NE(settings.find(line), std::string::npos) << line;
  // The installation's settings last, so that the first value, the folder's, holds.
  EXPECT_TRUE(settings.ends_with("\ninclude /etc/firebird/3.0/firebird.conf\n")) << settings;
  EXPECT_EQ(ReadFile(folder + "/databases.conf"), "");
  // A copy, since the engine loads no module through a link.
  EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(folder + "/intl/libfbintl.so")));
  EXPECT_EQ(ReadFile(folder + "/intl/libfbintl.so"), "module");

  // Found again, not made again: the same folder, the same file.
  ASSERT_EQ(lstat((folder + "/firebird.conf").c_str(), &status), 0);
  const ino_t inode = status.st_ino;
  EXPECT_EQ(Prepare(), folder);
  ASSERT_EQ(lstat((folder + "/firebird.conf").c_str(), &status), 0);
  EXPECT_EQ(status.st_ino, inode);
  // Other settings have a folder of their own; nothing else is left in the parent.
  patterns_ = {"/srv/other/*.fdb"};
  EXPECT_NE(Prepare(), folder);
  EXPECT_EQ(std::distance(fs::directory_iterator(parent_), fs::directory_iterator()), 2);
}

TEST_F(EmbeddedEngineFolder, WhereAnotherUserHoldsTheNameIsMadePrivateToTheProcess) {
  const std::string folder = Prepare();
  fs::remove_all(folder);
  // A folder of that name made by another user (another owner, open to others, with settings
  // of its own) is neither used nor replaced: the process gets a folder of its own.
  fs::create_directory(folder);
  std::ofstream(folder + "/firebird.conf") << "DatabaseAccess = Full\n";
  chmod(folder.c_str(), 0755);
  if (geteuid() == 0) {
    ASSERT_EQ(chown(folder.c_str(), 65534, 65534), 0);
  }
  const EngineFolder own = PrepareFolder();
  EXPECT_TRUE(own.private_to_process);
  EXPECT_EQ(fs::path(own.path).parent_path(), parent_);
  EXPECT_NE(own.path, folder);
  struct stat status;
  ASSERT_EQ(lstat(own.path.c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 07777, 0700u);
  EXPECT_EQ(status.st_uid, geteuid());
  EXPECT_EQ(ReadFile(own.path + "/firebird.conf"), EmbeddedEngineSettings(patterns_, included_));
  EXPECT_EQ(ReadFile(own.path + "/intl/libfbintl.so"), "module");
  EXPECT_EQ(ReadFile(folder + "/firebird.conf"), "DatabaseAccess = Full\n");
  // Another process gets another folder; the draft is gone.
  EXPECT_NE(Prepare(), own.path);
  EXPECT_EQ(Entries(), 3);
}

TEST_F(EmbeddedEngineFolder, IsRefusedWhereAnotherUserCouldSwapIt) {
  // A parent where others may rename entries: refused, unless sticky (as /tmp is).
  chmod(parent_.c_str(), 0777);
  EXPECT_EQ(FailureOfPrepare(), "Cannot prepare the embedded engine's configuration in " + parent_ +
                                    ": the folder is open to other users (neither this user's "
                                    "nor root's, or writable by another group or by others "
                                    "without the sticky bit)");
  EXPECT_EQ(Entries(), 0);
  chmod(parent_.c_str(), 01777);
  EXPECT_FALSE(PrepareFolder().private_to_process);
}

// A process killed while it made a folder leaves its draft ("<name>.XXXXXX"); the next one to
// make a folder removes this user's drafts once they are a minute old, and nothing else.
TEST_F(EmbeddedEngineFolder, DraftsOfKilledProcessesAreRemovedOnceOld) {
  const std::string folder = Prepare();
  const std::string name = fs::path(folder).filename();
  const auto old = fs::file_time_type::clock::now() - std::chrono::minutes(2);
  const struct {
    std::string name;
    bool old, own, removed;
  } drafts[] = {
      {name + ".Aaaaaa", true, true, true},
      {name + ".Bbbbbb", false, true, false},
      {name + ".Cccccc", true, false, geteuid() != 0},  // only root can give it away
      {name + ".Dd", true, true, false},
      {"xmlgateway-private-" + std::to_string(geteuid()) + "-Eeeeee", true, true, false},
  };
  for (const auto& draft : drafts) {
    const std::string path = parent_ + "/" + draft.name;
    fs::create_directories(path + "/intl");
    std::ofstream(path + "/firebird.conf") << "half";
    std::ofstream(path + "/intl/libfbintl.so") << "half";
    chmod(path.c_str(), 0700);
    if (!draft.own && geteuid() == 0) {
      ASSERT_EQ(chown(path.c_str(), 65534, 65534), 0);
    }
    if (draft.old) fs::last_write_time(path, old);
  }
  patterns_ = {"/srv/other/*.fdb"};
  Prepare();
  for (const auto& draft : drafts) {
    SCOPED_TRACE(draft.name);
    EXPECT_EQ(fs::exists(parent_ + "/" + draft.name), !draft.removed);
  }
}

}  // namespace
}  // namespace xg
