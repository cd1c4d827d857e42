// The counters of the FastCGI processes that the status page shows: one slot per worker, in
// memory that the supervisor maps before it starts its workers and shares with them, so that any
// worker can answer for all. A worker writes only its own slot, with atomic operations (no lock
// that a killed worker could leave held). A slot keeps its counts when its worker ends and the
// next worker takes it, so that the counts run from the supervisor's start; what describes the
// moment (the worker, busy or not, its connections) is cleared. A process that a web server
// started is its own only worker, with a board of one slot.
#pragma once

#include <sys/types.h>

#include <array>
#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "db/attachment_pool.h"
#include "host/host.h"

namespace xg {

// The services a request may name, counted apart: none (a request the gateway could not read),
// the three the protocol knows, and any other name.
inline constexpr std::array<std::string_view, 5> kStatusServices = {
    "", "SERVICESTATUS", "SERVICEOPENSQL", "SERVICEEXECSQL", "other"};
// How a request was answered: its document, the failure document of its kind, or the server
// failure page.
inline constexpr std::array<std::string_view, 5> kStatusOutcomes = {"ok", "ERROR", "OPENSQL",
                                                                    "EXECSQL", "page"};
// The upper bounds of the latency histogram's buckets, in microseconds; the last bucket has none.
inline constexpr std::array<int64_t, 11> kLatencyBoundsMicroseconds = {
    5000, 10000, 25000, 50000, 100000, 250000, 500000, 1000000, 2500000, 5000000, 10000000};
// Why the pool of a worker detached a kept attachment.
inline constexpr std::array<std::string_view, 4> kDetachReasons = {"idle", "age", "limit", "lost"};

struct StatusSlot {
  // What the slot's worker is doing now.
  std::atomic<int32_t> pid{0};
  std::atomic<int32_t> busy{0};
  std::atomic<int32_t> connections{0};
  std::atomic<int32_t> queued{0};
  std::atomic<int32_t> attachments_kept{0};
  // Counts since the start.
  std::atomic<uint64_t> requests[kStatusServices.size()][kStatusOutcomes.size()] = {};
  std::atomic<uint64_t> latency_buckets[kLatencyBoundsMicroseconds.size() + 1] = {};
  std::atomic<uint64_t> latency_microseconds{0};
  std::atomic<uint64_t> attachments_reused{0};
  std::atomic<uint64_t> attachments_detached[kDetachReasons.size()] = {};
};

// The sum of the slots at one moment.
struct StatusTotals {
  int workers = 0;
  int busy = 0;
  int connections = 0;
  int queued = 0;
  int attachments_kept = 0;
  uint64_t requests[kStatusServices.size()][kStatusOutcomes.size()] = {};
  uint64_t latency_buckets[kLatencyBoundsMicroseconds.size() + 1] = {};
  uint64_t latency_microseconds = 0;
  uint64_t attachments_reused = 0;
  uint64_t attachments_detached[kDetachReasons.size()] = {};
};

class StatusBoard {
 public:
  // `slots` slots, shared with the processes forked later. Raises EOSError when the memory
  // cannot be mapped.
  explicit StatusBoard(int slots);
  ~StatusBoard();
  StatusBoard(const StatusBoard&) = delete;
  StatusBoard& operator=(const StatusBoard&) = delete;

  // A slot that no worker holds, now the worker's; -1 when every slot is held.
  int Claim(pid_t worker);
  // The worker of the slot ended: the slot is free, its counts stay.
  void Release(int slot);
  StatusSlot& Slot(int slot) { return slots_[slot]; }

  StatusTotals Totals() const;

 private:
  StatusSlot* slots_;
  int count_;
};

// What one worker writes to its slot as it serves.
class WorkerStatus {
 public:
  WorkerStatus(StatusSlot& slot, const AttachmentPool& pool) : slot_(slot), pool_(pool) {}

  void NoteConnections(size_t open, size_t queued);
  void NoteBusy(bool busy) { slot_.busy = busy ? 1 : 0; }
  void NoteServed(const ServedRequest& served);
  // The pool's kept attachments now and what it detached since the last note.
  void NotePool();

 private:
  StatusSlot& slot_;
  const AttachmentPool& pool_;
  AttachmentPoolCounts noted_;
};

// The index of a service name in kStatusServices ("other" for a name it does not list), of an
// outcome in kStatusOutcomes ("page" for one it does not list), of a latency's bucket.
size_t StatusServiceIndex(std::string_view service);
size_t StatusOutcomeIndex(std::string_view outcome);
size_t LatencyBucketIndex(std::chrono::microseconds latency);

}  // namespace xg
