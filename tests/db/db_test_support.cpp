#include "db_test_support.h"

#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace xg::test {
namespace {

std::filesystem::path RepositoryRoot() {
  return std::filesystem::path(__FILE__).parent_path().parent_path().parent_path();
}

std::string NextPath(const std::string& stem) {
  static std::atomic<int> counter{0};
  return ScratchDirectory() + "/" + stem + std::to_string(++counter) + ".fdb";
}

std::string RunCommand(const std::string& command, int& status) {
  std::string output;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) {
    status = -1;
    return output;
  }
  std::array<char, 4096> buffer{};
  size_t n;
  while ((n = fread(buffer.data(), 1, buffer.size(), pipe)) > 0) output.append(buffer.data(), n);
  status = pclose(pipe);
  return output;
}

std::string WriteScript(const std::string& sql) {
  static std::atomic<int> counter{0};
  const std::string path = ScratchDirectory() + "/script" + std::to_string(++counter) + ".sql";
  std::ofstream(path, std::ios::binary) << sql;
  return path;
}

}  // namespace

const std::string& ScratchDirectory() {
  static const std::string directory = [] {
    std::string pattern = "/tmp/xg-db-tests-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) std::abort();
    // The server process (its own user) must reach the files created here.
    chmod(pattern.c_str(), 0777);
    return pattern;
  }();
  return directory;
}

std::string EmbeddedScratchConfig() {
  return "[databases]\nembedded = " + ScratchDirectory() + "/*\n";
}

const std::string& EmbeddedScratchConfigFile() {
  static const std::string path = [] {
    const std::string file = ScratchDirectory() + "/xmlgateway.conf";
    std::ofstream(file, std::ios::binary) << EmbeddedScratchConfig();
    return file;
  }();
  return path;
}

std::string RunIsql(const std::string& database, const std::string& sql) {
  const std::string script = WriteScript(sql);
  std::string command = "isql-fb -q -bail -i '" + script + "'";
  if (!database.empty()) command += " '" + database + "'";
  if (database.find(':') != std::string::npos && ServerConfigured()) {
    command += " -user '" + Server().user + "' -password '" + Server().password + "'";
  }
  int status = 0;
  std::string output = RunCommand(command + " 2>&1", status);
  EXPECT_EQ(status, 0) << "isql-fb failed: " << output;
  return output;
}

std::string CreateDemoDatabase() {
  const std::string path = NextPath("demo");
  int status = 0;
  const std::string output = RunCommand(
      "'" + (RepositoryRoot() / "scripts/create-demo-db.sh").string() + "' '" + path + "' 2>&1",
      status);
  EXPECT_EQ(status, 0) << output;
  return path;
}

std::string CreateDatabase(int dialect, const std::string& script) {
  const std::string path = NextPath("d" + std::to_string(dialect) + "-");
  RunIsql("", "SET SQL DIALECT " + std::to_string(dialect) + ";\nCREATE DATABASE '" + path +
                  "' DEFAULT CHARACTER SET ISO8859_1;\nCOMMIT;\n");
  if (!script.empty()) RunIsql(path, script);
  return path;
}

bool ServerConfigured() {
  return std::getenv("XG_FB_SERVER_HOST") != nullptr &&
         std::getenv("XG_FB_SERVER_USER") != nullptr &&
         std::getenv("XG_FB_SERVER_PASSWORD") != nullptr;
}

ServerAccess Server() {
  if (!ServerConfigured()) {
    ADD_FAILURE() << "The server tests need XG_FB_SERVER_HOST, XG_FB_SERVER_USER and "
                     "XG_FB_SERVER_PASSWORD (the test script sets them from the server's "
                     "SYSDBA password).";
    return {};
  }
  return {std::getenv("XG_FB_SERVER_HOST"), std::getenv("XG_FB_SERVER_USER"),
          std::getenv("XG_FB_SERVER_PASSWORD")};
}

void GiveToServer(const std::string& path) {
  if (const passwd* user = getpwnam("firebird")) {
    if (chown(path.c_str(), user->pw_uid, user->pw_gid) != 0) chmod(path.c_str(), 0666);
  } else {
    chmod(path.c_str(), 0666);
  }
}

std::string ServerDatabaseName(const std::string& path) {
  return Server().host + ":" + path;
}

}  // namespace xg::test
