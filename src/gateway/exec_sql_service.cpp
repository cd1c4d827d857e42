// The statement service: one statement executed and committed, answered by an EXECSQL document.
#include <string>
#include <vector>

#include "gateway/document_writer.h"
#include "gateway/sql_service_session.h"
#include "gateway/sql_services.h"
#include "gateway/watched_calls.h"
#include "process/stop_signals.h"
#include "protocol/protocol_strings.h"
#include "texts/exceptions.h"
#include "texts/resource_strings.h"

namespace xg {

XG_RESOURCE(SOperationDone, "Opera\xE7\xE3o efetuada com sucesso");
XG_RESOURCE(SOperationNotDone, "Opera\xE7\xE3o n\xE3o efetuada: ");

std::string RunExecSql(const RequestParams& request, const GatewayContext& context,
                       const RegionalSettings& settings, ServiceResult& result) {
  SqlServiceSession session(request, context);
  {
    const DatabaseCallTimer timer(result);
    session.Connect();
  }
  result.attachment_reused = session.AttachmentReused();
  IbTransaction& transaction = session.Transaction();
  session.LoadStatement();

  std::string message;
  bool committed = false;
  try {
    const DatabaseCallTimer timer(result);
    RunWatchedCalls(context.config.max_query_seconds, [&] { session.Query().ExecSql(); });
    session.CheckSessionState();  // asked in the transaction, so before the commit
    {
      // Not begun once a termination signal stopped the request; not interrupted once begun;
      // and a signal after it returned does not change the answer.
      CommitSection commit;
      transaction.Commit();
      commit.Committed();
    }
    committed = true;
    message = LoadResString(SOperationDone);
  } catch (const Exception& failure) {
    // A commit that lost the connection has already ended the transaction with the database;
    // the failure itself is what the client needs to read.
    const DatabaseCallTimer timer(result);
    // A failed statement may have left session state all the same (a context variable is no
    // part of the transaction).
    if (transaction.Active()) {
      session.CheckSessionState();
      transaction.Rollback();
    }
    message = LoadResString(SOperationNotDone) + failure.Message();
    result.failure = message;
  }

  std::vector<std::string> lines;
  lines.push_back(LoadResString(SXMLDeclaration));
  lines.push_back(OpeningTag(LoadResString(SExecSQL)));
  lines.push_back(MakeElement(LoadResString(SMsgData), Variant::FromString(message),
                              DataKind::kString, 0, 0, settings));
  lines.push_back(ClosingTag(LoadResString(SExecSQL)));
  std::string document = JoinDocumentLines(lines);

  const DatabaseCallTimer timer(result);
  if (!committed) {
    session.Finish();
    return document;
  }
  // The change is in the database: a failure of the disconnect that follows is no reason to tell
  // the client otherwise (a client that read a failure would send the change again).
  try {
    session.Finish();
  } catch (const Exception&) {
  }
  return document;
}

}  // namespace xg
