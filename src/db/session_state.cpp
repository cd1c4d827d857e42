#include "db/session_state.h"

#include "db/ib_query.h"
#include "db/ib_transaction.h"
#include "runtime/variant.h"

namespace xg {
namespace {

// One row, HELD 1 or 0. The cheap checks come first; the monitoring snapshot, which the context
// variables need, only when nothing else was found. The temporary tables are read through
// EXECUTE STATEMENT since their names are the database's; the text has no colon, so that no
// name in it reads as a parameter marker.
constexpr const char* kSessionStateCheck =
    "execute block returns (held integer) as\n"
    "declare relation_name type of column rdb$relations.rdb$relation_name;\n"
    "declare found integer;\n"
    "begin\n"
    "  held = 0;\n"
    "  if (current_role <> 'NONE') then held = 1;\n"
    "  if (held = 0) then\n"
    "    for select trim(rdb$relation_name) from rdb$relations where rdb$relation_type = 4\n"
    "        into relation_name do\n"
    "    begin\n"
    "      execute statement 'select count(*) from (select first 1 1 as x from \"' ||\n"
    "          replace(relation_name, '\"', '\"\"') || '\")' into found;\n"
    "      if (found > 0) then\n"
    "      begin\n"
    "        held = 1;\n"
    "        leave;\n"
    "      end\n"
    "    end\n"
    "  if (held = 0 and exists(select * from mon$context_variables\n"
    "      where mon$attachment_id = current_connection and mon$transaction_id is null)) then\n"
    "    held = 1;\n"
    "  suspend;\n"
    "end";

}  // namespace

bool HoldsSessionState(IbDatabase& database) {
  try {
    IbTransaction transaction(database);
    transaction.StartTransaction();
    bool held = true;
    {
      IbQuery check(transaction);
      check.SetSQL(kSessionStateCheck);
      check.Open();
      check.First();
      held = check.Eof() || VarAsInteger(check.FieldValue(0)) != 0;
      check.Close();
    }
    transaction.Commit();
    return held;
  } catch (...) {
    return true;
  }
}

}  // namespace xg
