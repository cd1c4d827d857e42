// The query service: every row of a SELECT as an OPENSQL document (answer_rows.h writes the
// rows), or the failure that stopped it.
#include <string>
#include <string_view>

#include "config/gateway_config.h"
#include "db/ib_transaction.h"
#include "db/sql_statement_type.h"
#include "gateway/answer_rows.h"
#include "gateway/document_writer.h"
#include "gateway/sql_service_session.h"
#include "gateway/sql_services.h"
#include "gateway/watched_calls.h"
#include "process/spool.h"
#include "protocol/protocol_strings.h"
#include "texts/exceptions.h"

namespace xg {
namespace {

constexpr std::string_view kLineEnd = "\r\n";

}  // namespace

Spool RunOpenSql(const RequestParams& request, const GatewayContext& context,
                 const RegionalSettings& settings, ServiceResult& result) {
  SqlServiceSession session(request, context);
  {
    const DatabaseCallTimer timer(result);
    session.Connect();
  }
  result.attachment_reused = session.AttachmentReused();
  session.LoadStatement();
  const GatewayConfig& config = context.config;
  const AnswerBudget budget(config.max_answer_bytes);
  Spool answer(static_cast<size_t>(config.spool_memory_bytes));

  // The work stays unless a SELECT failed.
  bool commit = true;
  try {
    int count = 0;
    RunWatchedCalls(config.max_query_seconds,
                    [&] { count = WriteRows(session.Query(), budget, settings, answer, result); });
    answer.Flush();  // a file that cannot take the rows fails here, before anything is sent
    answer.SetHead(DocumentHead(count));
    const DatabaseCallTimer timer(result);
    session.Query().Close();
    result.rows = count;
  } catch (const Exception& failure) {
    result.failure = failure.Message();
    // A SELECT that fails once it has started (a selectable procedure or block may write before
    // a later row fails) leaves nothing behind: the client that sees the failure and retries
    // does not write twice. A statement that is not a SELECT ran whole before the failure that
    // it has no rows, and keeps its effect.
    commit = session.Query().StatementType() != SqlStatementType::kSelect;
    // What was written goes, its temporary file with it.
    answer =
        Spool(LoadResString(SXMLDeclaration) + std::string(kLineEnd) +
              OpeningTag(LoadResString(SOpenSQL)) + std::string(kLineEnd) +
              MakeElement(LoadResString(SMsgData), Variant::FromString(failure.Message()),
                          DataKind::kString, 0, 0, settings) +
              std::string(kLineEnd) + ClosingTag(LoadResString(SOpenSQL)) + std::string(kLineEnd));
  }

  // The transaction is still active: committed unless a SELECT failed; the disconnect rolls back
  // what is not.
  const DatabaseCallTimer timer(result);
  session.CheckSessionState();
  if (commit) session.CommitUnlessStopped();
  session.Finish();
  return answer;
}

}  // namespace xg
