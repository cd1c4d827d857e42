// Which road a database name takes: hosts, resolution of "." and ".." and symbolic links, and
// the decisions of "allow" and "embedded" on real files.
#include "config/database_policy.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

namespace xg {
namespace {

namespace fs = std::filesystem;

TEST(DatabasePolicy, NamesWithAHost) {
  for (const char* name : {"localhost:/srv/a.fdb", "127.0.0.1/3051:/srv/a.fdb", "srv:employee",
                           "[::1]:/srv/a.fdb", "inet://srv/a.fdb", "INET4://srv//a.fdb", "xnet://a",
                           "wnet://srv/a", "\\\\srv\\a.fdb", "/srv/a:b.fdb"})
    EXPECT_TRUE(NameHasHost(name)) << name;
  for (const char* name : {"/srv/a.fdb", "employee", "relative/a.fdb", ":/srv/a.fdb", ""})
    EXPECT_FALSE(NameHasHost(name)) << name;
}

// The server of a name with a host resolves "." and ".." where the patterns cannot see: such a
// name is refused, in every form a host takes, while dots inside a component stay allowed. ("*"
// matches "/", so "localhost:/srv/*" alone would let "localhost:/srv/../other/x.fdb" through.)
TEST(DatabasePolicy, DotComponentsInNamesWithAHostAreRefused) {
  GatewayConfig config;
  // Every name is allowed, so that only the dots refuse.
  config.allow = {"*"};
  for (const char* name :
       {"localhost:/srv/../other/x.fdb", "localhost:/srv/./x.fdb", "localhost:/srv/a/..",
        "srv/3051:/srv/../x.fdb", "inet://srv/srv/../x.fdb", "\\\\srv\\..\\x.fdb", "srv:../x.fdb",
        "srv:./x.fdb", "srv:.."})
    EXPECT_EQ(ChooseDatabaseRoute(config, name), DatabaseRoute::kRefused) << name;
  for (const char* name : {"localhost:/srv/a..b/x.fdb", "localhost:/srv/.x/x.fdb",
                           "srv/3051:/srv/x.fdb", "inet://srv/srv/x.fdb", "srv:x.fdb"})
    EXPECT_EQ(ChooseDatabaseRoute(config, name), DatabaseRoute::kRemote) << name;
}

class DatabasePolicyFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = "/tmp/xg-policy-XXXXXX";
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    root_ = pattern;
    fs::create_directories(root_ + "/srv/xg");
    fs::create_directories(root_ + "/etc");
    std::ofstream(root_ + "/srv/xg/demo.fdb") << "x";
    std::ofstream(root_ + "/etc/secret.fdb") << "x";
    fs::create_symlink(root_ + "/etc/secret.fdb", root_ + "/srv/xg/link.fdb");
    fs::create_symlink(root_ + "/srv/xg", root_ + "/xg");
  }
  void TearDown() override { fs::remove_all(root_); }

  std::string root_;
};

TEST_F(DatabasePolicyFiles, ResolvedPaths) {
  EXPECT_EQ(ResolvedDatabasePath(root_ + "/srv/xg/../../etc/secret.fdb"),
            root_ + "/etc/secret.fdb");
  EXPECT_EQ(ResolvedDatabasePath(root_ + "/srv/xg/link.fdb"), root_ + "/etc/secret.fdb");
  EXPECT_EQ(ResolvedDatabasePath(root_ + "/xg//./demo.fdb"), root_ + "/srv/xg/demo.fdb");
  // Names of files that are not there are resolved by their text alone.
  EXPECT_EQ(ResolvedDatabasePath(root_ + "/srv/xg/../../etc/absent.fdb"),
            root_ + "/etc/absent.fdb");
  EXPECT_EQ(ResolvedDatabasePath("/../x/./y//z.fdb"), "/x/y/z.fdb");
  EXPECT_EQ(ResolvedDatabasePath("a/../../b.fdb"), "../b.fdb");
  EXPECT_EQ(ResolvedDatabasePath("employee"), "employee");
}

TEST_F(DatabasePolicyFiles, AllowAndEmbeddedDecideTheRoad) {
  GatewayConfig config;
  config.allow = {root_ + "/srv/xg/*", "db.example:*", "employee"};
  config.embedded = {root_ + "/srv/xg/demo.fdb"};
  const struct {
    std::string name;
    DatabaseRoute route;
  } cases[] = {
      {root_ + "/srv/xg/demo.fdb", DatabaseRoute::kEmbedded},
      {root_ + "/srv/xg/./demo.fdb", DatabaseRoute::kEmbedded},
      // No folder "sub": the file system opens nothing by this name, nor does the engine.
      {root_ + "/srv/xg/sub/../demo.fdb", DatabaseRoute::kLocalServer},
      {root_ + "/srv/xg/absent.fdb", DatabaseRoute::kLocalServer},
      {"employee", DatabaseRoute::kLocalServer},
      {"db.example:/srv/other.fdb", DatabaseRoute::kRemote},
      // "allow" matches the name as sent, and for a name without a host the file it resolves
      // to as well.
      {root_ + "/etc/secret.fdb", DatabaseRoute::kRefused},
      {root_ + "/srv/xg/../../etc/secret.fdb", DatabaseRoute::kRefused},
      {root_ + "/srv/xg/../../etc/absent.fdb", DatabaseRoute::kRefused},
      {root_ + "/srv/xg/link.fdb", DatabaseRoute::kRefused},
      {root_ + "/xg/demo.fdb", DatabaseRoute::kRefused},
      {"localhost:" + root_ + "/srv/xg/demo.fdb", DatabaseRoute::kRefused},
      {root_ + std::string("/srv/xg/demo.fdb\0x", 18), DatabaseRoute::kRefused},
  };
  for (const auto& c : cases) EXPECT_EQ(ChooseDatabaseRoute(config, c.name), c.route) << c.name;

  // "embedded" matches the file a name resolves to, never the name as sent.
  config.allow = {"*"};
  config.embedded = {root_ + "/srv/xg/*"};
  EXPECT_EQ(ChooseDatabaseRoute(config, root_ + "/srv/xg/link.fdb"), DatabaseRoute::kLocalServer);
  EXPECT_EQ(ChooseDatabaseRoute(config, root_ + "/xg/demo.fdb"), DatabaseRoute::kEmbedded);
  EXPECT_EQ(ChooseDatabaseRoute(config, root_ + "/srv/xg/../../etc/secret.fdb"),
            DatabaseRoute::kLocalServer);
  // With the defaults every name is allowed and none is embedded.
  for (const std::string& name :
       {root_ + "/srv/xg/demo.fdb", std::string("employee"), std::string("")})
    EXPECT_EQ(ChooseDatabaseRoute(GatewayConfig(), name), DatabaseRoute::kLocalServer) << name;
}

}  // namespace
}  // namespace xg
