#include "db/session_state.h"

#include <stdexcept>
#include <string>
#include <vector>

#include "db/ib_query.h"
#include "values/variant.h"

namespace xg {
namespace {

// The active database triggers of each kind, as three counts: ON_START, ON_COMMIT, ON_ROLLBACK.
// The texts have no colon, so that nothing in them reads as a parameter marker.
std::string TriggerCounts() {
  // The trigger types of the database triggers on transaction start, commit and rollback.
  const struct {
    int type;
    const char* name;
  } kinds[] = {{8194, "on_start"}, {8195, "on_commit"}, {8196, "on_rollback"}};
  std::string counts;
  for (const auto& kind : kinds) {
    if (!counts.empty()) counts += ",\n  ";
    counts += "(select count(*) from rdb$triggers where coalesce(rdb$trigger_inactive, 0) = 0\n";
    counts += "    and rdb$trigger_type = " + std::to_string(kind.type) + ") as " + kind.name;
  }
  return counts + "\n";
}

std::string TransactionTriggersQuery() {
  return "select " + TriggerCounts() + "from rdb$database";
}

// One row: HELD 1 when the role, a context variable of the session or a transaction of the
// attachment other than this one shows state; TEMPORARY_TABLES, the number of temporary tables
// that keep rows past the commit; then the trigger counts. A plain SELECT, which prepares faster
// than a block: the tables, whose names are the database's, are read by a second statement only
// where there are any.
std::string SessionStateQuery() {
  return "select iif(current_role <> 'NONE'\n"
         "    or exists(select * from mon$context_variables\n"
         "      where mon$attachment_id = current_connection and mon$transaction_id is null)\n"
         "    or exists(select * from mon$transactions\n"
         "      where mon$attachment_id = current_connection\n"
         "        and mon$transaction_id <> current_transaction),\n"
         "    1, 0) as held,\n"
         "  (select count(*) from rdb$relations where rdb$relation_type = 4) as temporary_tables,\n"
         "  " +
         TriggerCounts() + "from rdb$database";
}

constexpr const char* kTemporaryRowsQuery =
    "execute block returns (held integer) as\n"
    "declare relation_name type of column rdb$relations.rdb$relation_name;\n"
    "declare found integer;\n"
    "begin\n"
    "  held = 0;\n"
    "  for select trim(rdb$relation_name) from rdb$relations where rdb$relation_type = 4\n"
    "      into relation_name do\n"
    "  begin\n"
    "    execute statement 'select count(*) from (select first 1 1 as x from \"' ||\n"
    "        replace(relation_name, '\"', '\"\"') || '\")' into found;\n"
    "    if (found > 0) then\n"
    "    begin\n"
    "      held = 1;\n"
    "      leave;\n"
    "    end\n"
    "  end\n"
    "  suspend;\n"
    "end";

// The values of the query's one row, as integers; raises when there is no row.
std::vector<int> OneRow(IbTransaction& transaction, const std::string& sql) {
  IbQuery query(transaction);
  query.SetSql(sql);
  query.Open();
  query.First();
  if (query.Eof()) throw std::runtime_error("no row");
  std::vector<int> values;
  for (int i = 0; i < query.FieldCount(); ++i) values.push_back(VarAsInteger(query.FieldValue(i)));
  query.Close();
  return values;
}

// The trigger counts that begin at the row's value `first`.
TransactionTriggers TriggersFrom(const std::vector<int>& row, size_t first) {
  return TransactionTriggers{row.at(first) > 0, row.at(first + 1) > 0, row.at(first + 2) > 0};
}

}  // namespace

bool AllowsSessionCheck(const TransactionTriggers& triggers) {
  return !triggers.on_start && !(triggers.on_commit && triggers.on_rollback);
}

TransactionTriggers ReadTransactionTriggers(IbTransaction& transaction) {
  return TriggersFrom(OneRow(transaction, TransactionTriggersQuery()), 0);
}

bool HoldsSessionState(IbDatabase& database) {
  try {
    IbTransaction check(database);
    check.StartTransaction(TransactionMode::kReadCommittedReadOnly);
    const std::vector<int> state = OneRow(check, SessionStateQuery());
    const TransactionTriggers triggers = TriggersFrom(state, 2);
    const bool held = state[0] != 0 || !AllowsSessionCheck(triggers) ||
                      (state[1] > 0 && OneRow(check, kTemporaryRowsQuery)[0] != 0);
    // The transaction wrote nothing: ended by commit or rollback it leaves the same, so it ends
    // the way that runs no trigger of the database.
    check.End(triggers.on_rollback ? TransactionAction::kCommit : TransactionAction::kRollback);
    return held;
  } catch (...) {
    return true;
  }
}

}  // namespace xg
