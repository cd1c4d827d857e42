// Holds COUNT idle attachments to a database for a benchmark: attaches them one after the other
// with the user and password of XG_IDLE_USER and XG_IDLE_PASSWORD, prints "ready COUNT" on
// standard output, then waits until its standard input ends (the benchmark closes it, or dies) and
// detaches them all. No transaction is started on them: the server holds them as an idle client's
// connections, which is what the monitoring tables of every other attachment then report.
//
// Usage: idle_attachments DATABASE COUNT
//   DATABASE  as the gateway's DB element, e.g. 127.0.0.1:/path/big.fdb
#include <ibase.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "attach_params.h"

namespace {

// The attachments, detached when the holder goes.
class Attachments {
 public:
  Attachments() = default;
  ~Attachments() {
    for (isc_db_handle& handle : handles_) {
      ISC_STATUS_ARRAY status;
      isc_detach_database(status, &handle);
    }
  }
  Attachments(const Attachments&) = delete;
  Attachments& operator=(const Attachments&) = delete;

  // Answers false, with the client library's message on standard error, when the attach fails.
  bool Add(const std::string& database, const std::string& params) {
    isc_db_handle handle = 0;
    ISC_STATUS_ARRAY status;
    if (isc_attach_database(status, static_cast<short>(database.size()), database.c_str(), &handle,
                            static_cast<short>(params.size()), params.c_str()) != 0) {
      std::fprintf(stderr, "attach %zu failed: ", handles_.size() + 1);
      isc_print_status(status);
      return false;
    }
    handles_.push_back(handle);
    return true;
  }

 private:
  std::vector<isc_db_handle> handles_;
};

}  // namespace

int main(int argc, char** argv) {
  const char* user = std::getenv("XG_IDLE_USER");
  const char* password = std::getenv("XG_IDLE_PASSWORD");
  if (argc != 3 || user == nullptr || password == nullptr) {
    std::fprintf(stderr,
                 "usage: XG_IDLE_USER=U XG_IDLE_PASSWORD=P idle_attachments DATABASE COUNT\n");
    return 2;
  }
  const std::string database = argv[1];
  const int count = std::atoi(argv[2]);
  const std::string params = AttachParams(user, password);
  Attachments attachments;
  for (int i = 0; i < count; ++i)
    if (!attachments.Add(database, params)) return 1;
  std::printf("ready %d\n", count);
  std::fflush(stdout);
  char buffer[64];
  while (read(STDIN_FILENO, buffer, sizeof buffer) > 0) {
  }
  return 0;
}
