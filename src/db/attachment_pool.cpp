#include "db/attachment_pool.h"

#include <algorithm>

#include "db/ib_client_library.h"

namespace xg {

void AttachmentPool::Configure(const AttachmentPoolLimits& limits) {
  limits_ = limits;
  if (!limits_.enabled) Clear();
}

AttachmentPool::Clock::time_point AttachmentPool::AgeLimitOf(const IbDatabase& database) const {
  return database.AttachedAt() + std::chrono::seconds(limits_.max_age_seconds);
}

AttachmentPool::Clock::time_point AttachmentPool::ExpiryOf(const Kept& kept) const {
  return std::min(kept.last_used + std::chrono::seconds(limits_.idle_seconds),
                  AgeLimitOf(*kept.database));
}

void AttachmentPool::Drop(std::unique_ptr<IbDatabase> database) {
  try {
    database->Disconnect();
  } catch (...) {
    // The attachment is closed by force when the object goes; its failure concerns nobody.
  }
}

std::unique_ptr<IbDatabase> AttachmentPool::Take(const std::string& key) {
  DropExpired();
  const auto found =
      std::find_if(kept_.begin(), kept_.end(), [&](const Kept& kept) { return kept.key == key; });
  if (found == kept_.end()) return nullptr;
  std::unique_ptr<IbDatabase> database = std::move(found->database);
  kept_.erase(found);
  // The request's own from now: a cancel of the request reaches it.
  RegisterAttachment(*database->Handle());
  return database;
}

void AttachmentPool::Give(const std::string& key, std::unique_ptr<IbDatabase> database) {
  const Clock::time_point now = Clock::now();
  if (!limits_.enabled || limits_.max_per_process <= 0 || !database->Connected() ||
      now >= AgeLimitOf(*database)) {
    if (limits_.enabled && !database->Connected()) ++counts_.detached_lost;
    if (limits_.enabled && database->Connected() && now >= AgeLimitOf(*database))
      ++counts_.detached_age;
    Drop(std::move(database));
    return;
  }
  if (kept_.size() >= static_cast<size_t>(limits_.max_per_process)) {
    const auto oldest =
        std::min_element(kept_.begin(), kept_.end(),
                         [](const Kept& a, const Kept& b) { return a.last_used < b.last_used; });
    std::unique_ptr<IbDatabase> dropped = std::move(oldest->database);
    kept_.erase(oldest);
    ++counts_.detached_limit;
    Drop(std::move(dropped));
  }
  // No request's cancel reaches a kept attachment.
  UnregisterAttachment(*database->Handle());
  kept_.push_back(Kept{key, std::move(database), now});
}

void AttachmentPool::DropExpired() {
  const Clock::time_point now = Clock::now();
  std::vector<std::unique_ptr<IbDatabase>> expired;
  for (auto it = kept_.begin(); it != kept_.end();) {
    if (now >= ExpiryOf(*it) || !it->database->Connected()) {
      ++(!it->database->Connected()         ? counts_.detached_lost
         : now >= AgeLimitOf(*it->database) ? counts_.detached_age
                                            : counts_.detached_idle);
      expired.push_back(std::move(it->database));
      it = kept_.erase(it);
    } else {
      ++it;
    }
  }
  for (auto& database : expired) Drop(std::move(database));
}

int AttachmentPool::MillisecondsToNextExpiry() const {
  if (kept_.empty()) return -1;
  Clock::time_point next = Clock::time_point::max();
  for (const Kept& kept : kept_) next = std::min(next, ExpiryOf(kept));
  const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(next - Clock::now());
  // Rounded up, so that the wait ends after the limit rather than just before it.
  return static_cast<int>(std::max<int64_t>(0, wait.count() + 1));
}

void AttachmentPool::Clear() {
  std::vector<Kept> kept = std::move(kept_);
  kept_.clear();
  for (Kept& entry : kept) Drop(std::move(entry.database));
}

}  // namespace xg
