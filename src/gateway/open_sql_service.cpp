// The query service: every row of a SELECT as an OPENSQL document (answer_rows.h writes the
// rows), or the failure that stopped it.
#include <optional>
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

// The OPENSQL document that reports a failure in its one MSGDATA element.
Spool FailureDocument(const std::string& message, const RegionalSettings& settings) {
  return Spool(LoadResString(SXMLDeclaration) + std::string(kLineEnd) +
               OpeningTag(LoadResString(SOpenSQL)) + std::string(kLineEnd) +
               MakeElement(LoadResString(SMsgData), Variant::FromString(message), DataKind::kString,
                           0, 0, settings) +
               std::string(kLineEnd) + ClosingTag(LoadResString(SOpenSQL)) + std::string(kLineEnd));
}

// Ends the work of a query that failed before its commit. A SELECT that fails once it has started
// (a selectable procedure or block may write before a later row fails) leaves nothing behind:
// the client that sees the failure and retries does not write twice. A statement that is not a
// SELECT ran whole before the failure that it has no rows, and keeps its effect once committed.
// Answers the commit's failure, which is then what the client must read.
std::optional<std::string> EndWorkAfterFailure(SqlServiceSession& session, int limit_seconds) {
  if (session.Query().StatementType() == SqlStatementType::kSelect) {
    session.RollBackWork();
    return std::nullopt;
  }
  try {
    RunWatchedCalls(limit_seconds,
                    [&] { session.CommitWork(SqlServiceSession::AnswerAfterCommit::kStoppable); });
  } catch (const Exception& commit_failure) {
    return commit_failure.Message();
  }
  return std::nullopt;
}

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

  std::optional<std::string> failure;
  bool committing = false;
  try {
    RunWatchedCalls(config.max_query_seconds, [&] {
      const int count = WriteRows(session.Query(), budget, settings, answer, result);
      answer.Flush();  // a file that cannot take the rows fails here, before anything is sent
      answer.SetHead(DocumentHead(count));
      const DatabaseCallTimer timer(result);
      session.Query().Close();
      committing = true;
      session.CommitWork(SqlServiceSession::AnswerAfterCommit::kStoppable);
      result.rows = count;
    });
  } catch (const Exception& query_failure) {
    failure = query_failure.Message();
    const DatabaseCallTimer timer(result);
    // A failed commit has rolled back already.
    if (!committing) {
      if (auto commit_failure = EndWorkAfterFailure(session, config.max_query_seconds))
        failure = std::move(commit_failure);
    }
  }
  if (failure) {
    result.failure = *failure;
    // What was written goes, its temporary file with it.
    answer = FailureDocument(*failure, settings);
  }
  const DatabaseCallTimer timer(result);
  session.Finish();
  return answer;
}

}  // namespace xg
