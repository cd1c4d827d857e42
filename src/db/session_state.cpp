#include "db/session_state.h"

#include <random>
#include <string>

#include "db/ib_query.h"
#include "runtime/ascii_text.h"
#include "runtime/variant.h"

namespace xg {
namespace {

// A token no earlier statement can have held: 128 bits from the system's random source.
std::string FreshToken() {
  std::random_device source;
  std::string token = "xg";
  for (int i = 0; i < 4; ++i) AppendAsciiHex(source(), 8, token);
  return token;
}

// One row, HELD 1 or 0. The cheap checks come first. The temporary tables are read through
// EXECUTE STATEMENT since their names are the database's. The text has no colon, so that nothing
// in it reads as a parameter marker.
std::string SessionStateCheck(const std::string& token) {
  return "execute block returns (held integer) as\n"
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
         // A snapshot taken before this statement ran does not show it.
         "  if (held = 0 and not exists(select * from mon$statements\n"
         "      where mon$attachment_id = current_connection and mon$sql_text containing '" +
         token +
         "')) then\n"
         "    held = 1;\n"
         "  if (held = 0 and exists(select * from mon$context_variables\n"
         "      where mon$attachment_id = current_connection and mon$transaction_id is null)) "
         "then\n"
         "    held = 1;\n"
         "  suspend;\n"
         "end";
}

}  // namespace

bool HoldsSessionState(IbTransaction& transaction) {
  try {
    IbQuery check(transaction);
    check.SetSQL(SessionStateCheck(FreshToken()));
    check.Open();
    check.First();
    const bool held = check.Eof() || VarAsInteger(check.FieldValue(0)) != 0;
    check.Close();
    return held;
  } catch (...) {
    return true;
  }
}

}  // namespace xg
