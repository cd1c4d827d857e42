// The attachments that a process serving many requests (FastCGI) keeps from one request to the
// next, so that a request with the same database name, user and password finds its attachment
// made and the password checked. Each request still runs its own transaction: an attachment is
// kept only once its transactions have ended. Kept are only attachments that are connected and
// whose request ended without a failure leaving it and left no state in its session (the
// request's part: see db/session_state.h); one is dropped (detached) when unused for
// `idle_seconds`, `max_age_seconds` after its attach (after the server checked the password: a
// changed password is refused by a kept attachment at most that late), and the least recently
// used one when `max_per_process` are kept. The process serves one request at a time: the pool
// holds only attachments that no request uses.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "db/ib_database.h"

namespace xg {

struct AttachmentPoolLimits {
  bool enabled = false;
  int idle_seconds = 60;
  int max_age_seconds = 300;
  int max_per_process = 4;
};

// What the pool did since the process started: the attachments it detached, by why (unused for
// idle_seconds, past max_age_seconds, the least recently used one when max_per_process were kept, a
// connection found gone).
struct AttachmentPoolCounts {
  uint64_t detached_idle = 0;
  uint64_t detached_age = 0;
  uint64_t detached_limit = 0;
  uint64_t detached_lost = 0;
};

class AttachmentPool {
 public:
  using Clock = std::chrono::steady_clock;

  AttachmentPool() = default;
  ~AttachmentPool() { Clear(); }
  AttachmentPool(const AttachmentPool&) = delete;
  AttachmentPool& operator=(const AttachmentPool&) = delete;

  // Reuse is off until the limits enable it; turning it off drops what is kept.
  void Configure(const AttachmentPoolLimits& limits);
  bool Enabled() const { return limits_.enabled; }

  // A kept attachment of the key that is still within its limits; nullptr when there is none. An
  // attachment past its limits is dropped on the way. Its schema lookups come along (they note
  // which columns have defaults, which no answer shows; and they live no longer than the
  // attachment's max-age-seconds).
  std::unique_ptr<IbDatabase> Take(const std::string& key);
  // Keeps a connected attachment whose transactions have ended; drops it instead when reuse is
  // off, it is not connected, or it is past its age. May drop the least recently used one.
  void Give(const std::string& key, std::unique_ptr<IbDatabase> database);
  // Drops every attachment past its limits.
  void DropExpired();
  // Milliseconds until the next kept attachment passes a limit; -1 when none is kept.
  int MillisecondsToNextExpiry() const;
  // Drops everything.
  void Clear();
  size_t Size() const { return kept_.size(); }
  const AttachmentPoolCounts& Counts() const { return counts_; }

 private:
  struct Kept {
    std::string key;
    std::unique_ptr<IbDatabase> database;
    Clock::time_point last_used;
  };

  // The moment the attachment is max_age_seconds past its attach.
  Clock::time_point AgeLimitOf(const IbDatabase& database) const;
  // The earlier of its age limit and the end of its idle time.
  Clock::time_point ExpiryOf(const Kept& kept) const;
  static void Drop(std::unique_ptr<IbDatabase> database);

  AttachmentPoolLimits limits_;
  std::vector<Kept> kept_;
  AttachmentPoolCounts counts_;
};

}  // namespace xg
