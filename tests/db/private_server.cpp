#include "private_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>
#include <vector>

#include "db_test_support.h"

namespace xg::test {
namespace {

namespace fs = std::filesystem;

// Where the Debian packages put the server's program, its shared files and its security database.
const fs::path kServerProgram = "/usr/sbin/firebird";
const fs::path kFirebirdRoot = "/usr/lib/x86_64-linux-gnu/firebird/3.0";
const fs::path kSecurityDatabase = "/var/lib/firebird/3.0/system/security3.fdb";

int FreePort() {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  int port = 0;
  if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
      getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
    port = ntohs(address.sin_port);
  }
  close(fd);
  return port;
}

bool PortAccepts(int port) {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<uint16_t>(port));
  const bool accepted = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  close(fd);
  return accepted;
}

}  // namespace

PrivateServer::PrivateServer() {
  std::string pattern = ScratchDirectory() + "/private-server-XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) {
    ADD_FAILURE() << "cannot create the private server's folder";
    return;
  }
  folder_ = pattern;
  port_ = FreePort();
  const fs::path root = folder_;
  // The server's shared files come from the installed root; configuration, security database
  // and lock files are its own.
  for (const char* shared : {"UDF", "intl", "lib", "plugins", "firebird.msg", "plugins.conf"}) {
    std::error_code ignored;
    fs::create_symlink(kFirebirdRoot / shared, root / shared, ignored);
  }
  fs::create_directory(root / "lock");
  std::error_code copy_failure;
  fs::copy_file(kSecurityDatabase, root / "security3.fdb", copy_failure);
  EXPECT_FALSE(copy_failure) << "cannot copy " << kSecurityDatabase << ": "
                             << copy_failure.message();
  const std::string security = (root / "security3.fdb").string();
  std::ofstream(root / "firebird.conf") << "RemoteServicePort = " << port_
                                        << "\nRemoteBindAddress = 127.0.0.1\n"
                                           "ServerMode = Super\nUdfAccess = None\n"
                                           "ConnectionTimeout = "
                                        << kConnectionTimeoutSeconds
                                        << "\n"
                                           "SecurityDatabase = "
                                        << security << "\n";
  std::ofstream(root / "databases.conf")
      << "security.db = " << security << "\n{\n  RemoteAccess = false\n}\n";
}

PrivateServer::~PrivateServer() {
  if (pid_ > 0) Signal(SIGKILL);
  if (!folder_.empty()) {
    std::error_code ignored;
    fs::remove_all(folder_, ignored);
  }
}

void PrivateServer::Start() {
  ASSERT_TRUE(fs::exists(kServerProgram)) << kServerProgram << " is not installed";
  ASSERT_GT(port_, 0);
  const std::string log = folder_ + "/server.log";
  std::vector<std::string> environment = {
      "FIREBIRD=" + folder_, "FIREBIRD_LOCK=" + folder_ + "/lock", "PATH=/usr/sbin:/usr/bin:/bin"};
  std::vector<char*> envp;
  for (std::string& entry : environment) envp.push_back(entry.data());
  envp.push_back(nullptr);
  const pid_t parent = getpid();
  const pid_t pid = fork();
  ASSERT_GE(pid, 0) << "fork failed";
  if (pid == 0) {
    // The server ends with the test process, even when that one dies.
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent) _exit(1);
    setsid();
    const int out = open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    if (out >= 0) {
      dup2(out, STDOUT_FILENO);
      dup2(out, STDERR_FILENO);
    }
    if (chdir(folder_.c_str()) != 0) _exit(1);
    char* argv[] = {const_cast<char*>(kServerProgram.c_str()), nullptr};
    execve(kServerProgram.c_str(), argv, envp.data());
    _exit(127);
  }
  pid_ = pid;
  for (int i = 0; i < 200; ++i) {
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = -1;
      std::ifstream in(log);
      FAIL() << "the private server ended at start-up: "
             << std::string(std::istreambuf_iterator<char>(in), {});
    }
    if (PortAccepts(port_)) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  FAIL() << "the private server does not answer on port " << port_;
}

bool PrivateServer::Signal(int signal) {
  if (pid_ <= 0) return true;
  kill(pid_, signal);
  if (signal != SIGKILL && signal != SIGTERM) return true;
  kill(pid_, SIGCONT);  // a frozen server must run to take the signal
  if (WaitUntilEnded(signal == SIGTERM ? kTermSeconds : 0)) return true;
  kill(pid_, SIGKILL);
  WaitUntilEnded(0);
  return false;
}

bool PrivateServer::WaitUntilEnded(int seconds) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  int status = 0;
  for (;;) {
    const pid_t ended = waitpid(pid_, &status, seconds == 0 ? 0 : WNOHANG);
    if (ended == pid_ || (ended < 0 && errno != EINTR)) break;
    if (ended == 0) {
      if (std::chrono::steady_clock::now() >= deadline) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
  }
  pid_ = -1;
  return true;
}

std::string PrivateServer::DatabaseName(const std::string& path) const {
  return "127.0.0.1/" + std::to_string(port_) + ":" + path;
}

std::string PrivateServer::Isql(const std::string& path, const std::string& sql) const {
  return RunIsql(DatabaseName(path), sql);
}

void PrivateServer::CreateDatabase(const std::string& path, const std::string& script) const {
  const ServerAccess access = Server();
  RunIsql("", "SET SQL DIALECT 3;\nCREATE DATABASE '" + DatabaseName(path) + "' USER '" +
                  access.user + "' PASSWORD '" + access.password +
                  "' DEFAULT CHARACTER SET ISO8859_1;\nCOMMIT;\n");
  if (!script.empty()) Isql(path, script);
}

bool PrivateServer::GatewayStatementRunning(const std::string& path) const {
  const std::string output =
      Isql(path,
           "SELECT 'RUNNING=' || COUNT(*) FROM MON$STATEMENTS S JOIN MON$ATTACHMENTS A ON "
           "A.MON$ATTACHMENT_ID = S.MON$ATTACHMENT_ID WHERE S.MON$STATE = 1 AND "
           "A.MON$REMOTE_PROCESS CONTAINING 'xmlgateway';\n");
  return output.find("RUNNING=0") == std::string::npos &&
         output.find("RUNNING=") != std::string::npos;
}

}  // namespace xg::test
