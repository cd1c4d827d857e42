// Whether a request left state in its attachment's session that outlives its transaction and
// that a new attachment would not have: a context variable of the USER_SESSION namespace, a row
// of a global temporary table ON COMMIT PRESERVE ROWS, or a role set after the attach (every
// attach starts with the role NONE). A later request on such an attachment would answer otherwise
// than on a new one, and the engine offers no way to clear context variables it cannot name.
//
// Asked in the request's own transaction, before it ends: a transaction of its own would cost as
// much as the request's. One statement, and a second one only in a database that has temporary
// tables keeping rows past the commit. The transaction may hold a monitoring snapshot from
// earlier in the request, which would not show what the request did after it; the statement
// therefore also looks for itself in the snapshot, by a random token in its text, and a snapshot
// without it counts as state held. Rows of a temporary table that the transaction's end would
// roll back also count: the answer errs only towards detaching.
#pragma once

#include "db/ib_transaction.h"

namespace xg {

// The transaction must be active. Answers true also when the check itself fails (the attachment
// cannot be shown to be clean).
bool HoldsSessionState(IbTransaction& transaction);

}  // namespace xg
