#include "values/clock.h"

#include <time.h>

namespace xg {
namespace {

class LocalClock final : public Clock {
 public:
  DateTime Now() const override {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    tm local{};
    if (localtime_r(&now.tv_sec, &local) == nullptr) return 0;
    int millisecond = static_cast<int>(now.tv_nsec / 1'000'000);
    // A leap second (tm_sec 60) is held at the last second of its minute.
    int second = local.tm_sec > 59 ? 59 : local.tm_sec;
    return EncodeDate(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday) +
           EncodeTime(local.tm_hour, local.tm_min, second, millisecond);
  }
};

}  // namespace

const Clock& SystemClock() {
  static const LocalClock clock;
  return clock;
}

}  // namespace xg
