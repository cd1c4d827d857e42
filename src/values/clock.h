// The local clock, behind an interface so that tests can hand in a clock of their own.
#pragma once

#include "values/date_time.h"

namespace xg {

class Clock {
 public:
  virtual ~Clock() = default;
  // The current local date and time (the TZ of the environment).
  virtual DateTime Now() const = 0;
};

// clock_gettime and localtime_r.
const Clock& SystemClock();

}  // namespace xg
