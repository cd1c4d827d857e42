#include "db/session_state.h"

#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "db/ib_query.h"
#include "texts/ascii_text.h"
#include "values/variant.h"

namespace xg {
namespace {

// A token no earlier statement can have held: 128 bits from the system's random source.
std::string FreshToken() {
  std::random_device source;
  std::string token = "xg";
  for (int i = 0; i < 4; ++i) AppendAsciiHex(source(), 8, token);
  return token;
}

// One row: HELD 1 when the role or a context variable shows state, or when the monitoring
// snapshot predates this statement (it does not show the statement, found by its token);
// TEMPORARY_TABLES, the number of temporary tables that keep rows past the commit. A plain
// SELECT, which prepares faster than a block: the tables, whose names are the database's, are
// read by a second statement only where there are any. The texts have no colon, so that nothing
// in them reads as a parameter marker.
std::string SessionStateQuery(const std::string& token) {
  return "select iif(current_role <> 'NONE'\n"
         "    or not exists(select * from mon$statements\n"
         "      where mon$attachment_id = current_connection and mon$sql_text containing '" +
         token +
         "')\n"
         "    or exists(select * from mon$context_variables\n"
         "      where mon$attachment_id = current_connection and mon$transaction_id is null),\n"
         "    1, 0) as held,\n"
         "  (select count(*) from rdb$relations where rdb$relation_type = 4) as temporary_tables\n"
         "from rdb$database";
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

}  // namespace

bool HoldsSessionState(IbTransaction& transaction) {
  try {
    const std::vector<int> state = OneRow(transaction, SessionStateQuery(FreshToken()));
    if (state[0] != 0) return true;
    return state[1] > 0 && OneRow(transaction, kTemporaryRowsQuery)[0] != 0;
  } catch (...) {
    return true;
  }
}

}  // namespace xg
