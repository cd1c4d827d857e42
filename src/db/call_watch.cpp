#include "db/call_watch.h"

#include <utility>

#include "db/ib_client_library.h"

namespace xg {
namespace {

// The check of the request the thread serves.
thread_local ClientGoneCheck published_check;

}  // namespace

ClientGoneCheckScope::ClientGoneCheckScope(ClientGoneCheck check) {
  published_check = std::move(check);
}

ClientGoneCheckScope::~ClientGoneCheckScope() {
  published_check = nullptr;
}

CallWatch::CallWatch(int limit_seconds) {
  ClientGoneCheck gone = published_check;
  const bool has_deadline = limit_seconds > 0;
  if (!has_deadline && !gone) return;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(limit_seconds);
  thread_ = std::thread(&CallWatch::Watch, this, deadline, has_deadline, std::move(gone));
}

void CallWatch::Watch(std::chrono::steady_clock::time_point deadline, bool has_deadline,
                      ClientGoneCheck gone) {
  std::unique_lock<std::mutex> lock(mutex_);
  while (!stopping_) {
    if (cause_ == CancelCause::kNone) {
      if (has_deadline && std::chrono::steady_clock::now() >= deadline) {
        cause_ = CancelCause::kTimeLimit;
      } else if (gone) {
        lock.unlock();
        const bool has_gone = gone();
        lock.lock();
        if (has_gone && !stopping_) cause_ = CancelCause::kClientGone;
      }
    }
    if (cause_ != CancelCause::kNone && !stopping_) CancelAttachmentCalls();
    auto wake_at = std::chrono::steady_clock::now() + kInterval;
    if (cause_ == CancelCause::kNone && has_deadline && deadline < wake_at) wake_at = deadline;
    wake_.wait_until(lock, wake_at, [this] { return stopping_; });
  }
}

CancelCause CallWatch::Stop() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  if (thread_.joinable()) {
    thread_.join();
    if (cause_ != CancelCause::kNone) ClearPendingCancels();
  }
  return cause_;
}

}  // namespace xg
