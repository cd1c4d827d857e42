// Whether a request left state in its attachment's session that outlives its transaction and
// that a new attachment would not have: a context variable of the USER_SESSION namespace, a row
// of a global temporary table ON COMMIT PRESERVE ROWS, a role set after the attach (every attach
// starts with the role NONE), or a transaction still open. A later request on such an attachment
// would answer otherwise than on a new one, and the engine offers no way to clear context
// variables it cannot name.
//
// Asked once the request's transaction has ended, by commit or rollback, in a read-committed
// transaction of its own: so it sees what the request's triggers on commit or rollback did and
// what its autonomous transactions committed, which the request's own snapshot could not show,
// and its monitoring snapshot is taken then. That transaction runs the database's triggers on
// transaction start and on whichever of commit or rollback ends it; the check therefore runs
// only on a database without triggers on transaction start and without triggers on both commit
// and rollback (found out with ReadTransactionTriggers in the first request's transaction, and
// again by every check), and ends its transaction the way no trigger answers.
#pragma once

#include "db/ib_database.h"
#include "db/ib_transaction.h"

namespace xg {

// The database's active triggers on transaction start, commit and rollback.
struct TransactionTriggers {
  bool on_start = false;
  bool on_commit = false;
  bool on_rollback = false;
};

// Whether a transaction of the check's own can start and end without running a trigger.
bool AllowsSessionCheck(const TransactionTriggers& triggers);

// Reads the triggers in an active transaction. Raises what the query raises.
TransactionTriggers ReadTransactionTriggers(IbTransaction& transaction);

// The database must be connected and have no transaction made on it. Answers true also when the
// check itself fails (the attachment cannot be shown to be clean), and when triggers appeared
// since ReadTransactionTriggers that AllowsSessionCheck refuses.
bool HoldsSessionState(IbDatabase& database);

}  // namespace xg
