// What a SQL service tells its caller about the request besides the answer document: the rows it
// answered, the time spent in database calls, whether the attachment was one kept from an
// earlier request, and the message of its failure document. The service fills it as it goes, so
// that a failure that leaves the service leaves what was measured up to it.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

namespace xg {

struct ServiceResult {
  int rows = 0;
  int64_t database_microseconds = 0;
  bool attachment_reused = false;
  std::string failure;  // the failure document's message; empty when the service succeeded
};

// Adds the time from its construction to its end to the result's database time.
class DatabaseCallTimer {
 public:
  explicit DatabaseCallTimer(ServiceResult& result)
      : result_(result), start_(std::chrono::steady_clock::now()) {}
  ~DatabaseCallTimer() {
    result_.database_microseconds += std::chrono::duration_cast<std::chrono::microseconds>(
                                         std::chrono::steady_clock::now() - start_)
                                         .count();
  }
  DatabaseCallTimer(const DatabaseCallTimer&) = delete;
  DatabaseCallTimer& operator=(const DatabaseCallTimer&) = delete;

 private:
  ServiceResult& result_;
  std::chrono::steady_clock::time_point start_;
};

}  // namespace xg
