// The statement of a service under watch: cancelled when it passes [limits] max-query-seconds
// (its fetch included) or when the client has gone (see db/call_watch.h). A statement cancelled
// by the time limit fails with the limit's own message instead of the server's "operation was
// cancelled", so the client reads why.
#pragma once

#include "db/call_watch.h"
#include "texts/exceptions.h"

namespace xg {

// "A consulta passou do limite de N segundos (max-query-seconds)" as an Exception.
[[noreturn]] void ThrowQueryTimeLimit(int seconds);

// Runs the calls under a CallWatch with the limit in seconds (0: none). A failure of the calls
// after the watch cancelled them for the time limit is raised as the limit's failure; any other
// leaves as it came.
template <class Calls>
void RunWatchedCalls(int limit, Calls&& calls) {
  CallWatch watch(limit);
  try {
    calls();
  } catch (const Exception&) {
    if (watch.Stop() == CancelCause::kTimeLimit) ThrowQueryTimeLimit(limit);
    throw;
  }
}

}  // namespace xg
