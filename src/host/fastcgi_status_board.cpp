#include "host/fastcgi_status_board.h"

#include <sys/mman.h>

#include <algorithm>
#include <new>

#include "process/os_error.h"

namespace xg {
namespace {

template <size_t N>
size_t IndexIn(const std::array<std::string_view, N>& names, std::string_view name,
               size_t otherwise) {
  const auto found = std::find(names.begin(), names.end(), name);
  return found == names.end() ? otherwise : static_cast<size_t>(found - names.begin());
}

int32_t Load(const std::atomic<int32_t>& value) {
  return value.load(std::memory_order_relaxed);
}

uint64_t Load(const std::atomic<uint64_t>& value) {
  return value.load(std::memory_order_relaxed);
}

}  // namespace

StatusBoard::StatusBoard(int slots) : count_(slots) {
  void* memory = ::mmap(nullptr, sizeof(StatusSlot) * static_cast<size_t>(slots),
                        PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
  if (memory == MAP_FAILED) RaiseLastOsError();
  slots_ = static_cast<StatusSlot*>(memory);
  for (int i = 0; i < slots; ++i) new (&slots_[i]) StatusSlot();
}

StatusBoard::~StatusBoard() {
  ::munmap(slots_, sizeof(StatusSlot) * static_cast<size_t>(count_));
}

int StatusBoard::Claim(pid_t worker) {
  for (int i = 0; i < count_; ++i) {
    int32_t free = 0;
    if (slots_[i].pid.compare_exchange_strong(free, worker)) return i;
  }
  return -1;
}

void StatusBoard::Release(int slot) {
  StatusSlot& released = slots_[slot];
  released.busy = 0;
  released.connections = 0;
  released.queued = 0;
  released.attachments_kept = 0;
  released.pid = 0;
}

StatusTotals StatusBoard::Totals() const {
  StatusTotals totals;
  for (int i = 0; i < count_; ++i) {
    const StatusSlot& slot = slots_[i];
    if (Load(slot.pid) != 0) {
      ++totals.workers;
      totals.busy += Load(slot.busy);
      totals.connections += Load(slot.connections);
      totals.queued += Load(slot.queued);
      totals.attachments_kept += Load(slot.attachments_kept);
    }
    for (size_t s = 0; s < kStatusServices.size(); ++s)
      for (size_t o = 0; o < kStatusOutcomes.size(); ++o)
        totals.requests[s][o] += Load(slot.requests[s][o]);
    for (size_t b = 0; b <= kLatencyBoundsMicroseconds.size(); ++b)
      totals.latency_buckets[b] += Load(slot.latency_buckets[b]);
    totals.latency_microseconds += Load(slot.latency_microseconds);
    totals.attachments_reused += Load(slot.attachments_reused);
    for (size_t r = 0; r < kDetachReasons.size(); ++r)
      totals.attachments_detached[r] += Load(slot.attachments_detached[r]);
  }
  return totals;
}

void WorkerStatus::NoteConnections(size_t open, size_t queued) {
  slot_.connections = static_cast<int32_t>(open);
  slot_.queued = static_cast<int32_t>(queued);
}

void WorkerStatus::NoteServed(const ServedRequest& served) {
  ++slot_.requests[StatusServiceIndex(served.service)][StatusOutcomeIndex(served.outcome)];
  ++slot_.latency_buckets[LatencyBucketIndex(served.duration)];
  slot_.latency_microseconds += static_cast<uint64_t>(served.duration.count());
  if (served.attachment_reused) ++slot_.attachments_reused;
}

void WorkerStatus::NotePool() {
  slot_.attachments_kept = static_cast<int32_t>(pool_.Size());
  const AttachmentPoolCounts& now = pool_.Counts();
  const uint64_t detached[] = {now.detached_idle, now.detached_age, now.detached_limit,
                               now.detached_lost};
  const uint64_t noted[] = {noted_.detached_idle, noted_.detached_age, noted_.detached_limit,
                            noted_.detached_lost};
  for (size_t r = 0; r < kDetachReasons.size(); ++r)
    slot_.attachments_detached[r] += detached[r] - noted[r];
  noted_ = now;
}

size_t StatusServiceIndex(std::string_view service) {
  return IndexIn(kStatusServices, service, kStatusServices.size() - 1);
}

size_t StatusOutcomeIndex(std::string_view outcome) {
  return IndexIn(kStatusOutcomes, outcome, kStatusOutcomes.size() - 1);
}

size_t LatencyBucketIndex(std::chrono::microseconds latency) {
  return static_cast<size_t>(std::lower_bound(kLatencyBoundsMicroseconds.begin(),
                                              kLatencyBoundsMicroseconds.end(), latency.count()) -
                             kLatencyBoundsMicroseconds.begin());
}

}  // namespace xg
