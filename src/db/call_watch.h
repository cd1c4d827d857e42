// The watch over a request's database calls: a thread of its own that cancels what the request's
// own attachments run (fb_cancel_operation with fb_cancel_raise; not the attachments a process
// keeps for later requests, see CancelAttachmentCalls) when the statement passes its time
// limit, or when the host finds that the client has gone. A cancel reaches only the call that runs
// at that moment, so it is repeated until the watch stops; the call raises the server's "operation
// was cancelled" failure, and the caller rolls back. Stopping the watch drops a cancel that
// arrived too late for any call, so that the clean-up and later requests run undisturbed.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace xg {

// Why the watch cancelled.
enum class CancelCause { kNone, kTimeLimit, kClientGone };

// Whether the client of the request being served has gone (asked from the watch's thread).
using ClientGoneCheck = std::function<bool()>;

// Publishes the check of the request a host serves for the watches that the serving thread makes
// while it is served: the check belongs to the request and to its thread; a watch made on
// another thread, or after the request, has none.
class ClientGoneCheckScope {
 public:
  explicit ClientGoneCheckScope(ClientGoneCheck check);
  ~ClientGoneCheckScope();
  ClientGoneCheckScope(const ClientGoneCheckScope&) = delete;
  ClientGoneCheckScope& operator=(const ClientGoneCheckScope&) = delete;
};

class CallWatch {
 public:
  // How often the client check runs and a cancel is repeated: well within a second, so that a
  // client that has gone frees the process within one.
  static constexpr std::chrono::milliseconds kInterval{100};

  // Watches the calls made until Stop: cancels them once `limit_seconds` have passed (0: no
  // limit), or once the published client check answers true. Without either, no thread runs.
  explicit CallWatch(int limit_seconds);
  ~CallWatch() { Stop(); }
  CallWatch(const CallWatch&) = delete;
  CallWatch& operator=(const CallWatch&) = delete;

  // Ends the watch (no cancel after it returns) and answers what made it cancel.
  CancelCause Stop();

 private:
  void Watch(std::chrono::steady_clock::time_point deadline, bool has_deadline,
             ClientGoneCheck gone);

  std::mutex mutex_;
  std::condition_variable wake_;
  bool stopping_ = false;
  CancelCause cause_ = CancelCause::kNone;
  std::thread thread_;
};

}  // namespace xg
