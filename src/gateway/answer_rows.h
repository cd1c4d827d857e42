// The rows of an OPENSQL answer: every row of the query fetched, written as a record element
// straight into the answer's spool and forgotten, within the bytes the answer may take; and the
// head of the document, made once the rows are counted.
#pragma once

#include <cstdint>
#include <string>

#include "db/ib_query.h"
#include "gateway/service_result.h"
#include "process/spool.h"
#include "values/regional_settings.h"

namespace xg {

// The bytes the answer may take (max-answer-bytes), checked against the whole document: its
// head, the rows written so far and the closing line still to come.
class AnswerBudget {
 public:
  explicit AnswerBudget(int64_t limit);
  void Check(int record_count, const Spool& rows) const;
  // While rows are written: a cheap check, whose head is counted short by the digits of the
  // count still to come (the final Check counts it exactly).
  void CheckRows(const Spool& rows) const;

 private:
  int64_t limit_;
  int64_t closing_bytes_;
};

// The head of the document: the declaration and the opening tag with the count.
std::string DocumentHead(int record_count);

// Opens the query, fetches and writes every row and the document's closing line; answers the
// number of rows. The database calls (the statement's execution and every fetch) are timed into
// the result.
int WriteRows(IbQuery& query, const AnswerBudget& budget, const RegionalSettings& settings,
              Spool& out, ServiceResult& result);

}  // namespace xg
