// Whether an attachment carries state of its session past the end of its transactions, which a
// new attachment would not have: a context variable of the USER_SESSION namespace, a row of a
// global temporary table ON COMMIT PRESERVE ROWS, or a role set after the attach (every attach
// starts with the role NONE). A request that finds such an attachment would answer otherwise
// than on a new one. Asked with one statement in a transaction of its own; the engine offers no
// way to clear unknown context variables, so an attachment that holds any is not reused.
#pragma once

#include "db/ib_database.h"

namespace xg {

// Answers true also when the check itself fails (the attachment cannot be shown to be clean).
// The attachment's transactions must have ended.
bool HoldsSessionState(IbDatabase& database);

}  // namespace xg
