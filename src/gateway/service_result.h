// What a SQL service tells its caller about the request besides the answer document: the rows it
// answered, the time spent in database calls, whether the attachment was one kept from an
// earlier request, and the message of its failure document. The service fills it as it goes, so
// that a failure that leaves the service leaves what was measured up to it.
#pragma once

#include <time.h>

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

// The same with the coarse monotonic clock, for calls made once per row of a long answer: it
// costs a few nanoseconds to read where the precise clock costs tens, which twice per row is a
// few per cent of a narrow row's time. Its ticks (a few milliseconds) are counted for the calls
// that span one, which summed over many calls gives their time on average.
class CoarseDatabaseCallTimer {
 public:
  explicit CoarseDatabaseCallTimer(ServiceResult& result)
      : result_(result), start_(CoarseMicroseconds()) {}
  ~CoarseDatabaseCallTimer() { result_.database_microseconds += CoarseMicroseconds() - start_; }
  CoarseDatabaseCallTimer(const CoarseDatabaseCallTimer&) = delete;
  CoarseDatabaseCallTimer& operator=(const CoarseDatabaseCallTimer&) = delete;

 private:
  static int64_t CoarseMicroseconds() {
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC_COARSE, &now);
    return int64_t{now.tv_sec} * 1000000 + now.tv_nsec / 1000;
  }

  ServiceResult& result_;
  int64_t start_;
};

}  // namespace xg
