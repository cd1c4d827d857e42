// What an answer means for the command that asked for it: the rows to print, or the gateway's
// failure message with the exit code for it.
#pragma once

#include <string>
#include <vector>

#include "answer_parser.h"
#include "request.h"

namespace xg::client {

struct Column {
  std::string name;
  std::string kind;  // the DATATYPE name
};

// Texts in UTF-8. `single_record` marks the status and statement answers, one record of named
// values rather than rows of a table.
struct ResultTable {
  std::vector<Column> columns;
  std::vector<std::vector<std::string>> rows;
  bool single_record = false;
};

// The result of a successful answer:
// - STATUS: one record of every value (TIMESTAMP, AGENT, MSGDATA, then the samples of DATATYPES);
// - OPENSQL with RECORDCOUNT: a row per RECORDn block, the columns of the first block (a RECORD0
//   block names the columns of an empty result);
// - EXECSQL with the success message: one record of MSGDATA.
// Raises ClientError: a server error with the document's message for an ERROR document, an
// OPENSQL document without RECORDCOUNT (a failed query) and an EXECSQL document whose message is
// not the success message; an answer error for a document of another kind than the service's, or
// an OPENSQL document whose blocks do not match RECORDCOUNT or each other.
ResultTable ReadResult(const Answer& answer, Service service);

}  // namespace xg::client
