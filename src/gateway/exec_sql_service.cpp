// The statement service: one statement executed and committed, answered by an EXECSQL document.
#include <string>
#include <vector>

#include "gateway/document_writer.h"
#include "gateway/sql_service_session.h"
#include "gateway/sql_services.h"
#include "gateway/watched_calls.h"
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
  session.LoadStatement();

  std::string message;
  try {
    const DatabaseCallTimer timer(result);
    RunWatchedCalls(context.config.max_query_seconds, [&] {
      session.Query().ExecSql();
      session.CommitWork(SqlServiceSession::AnswerAfterCommit::kWhole);
    });
    message = LoadResString(SOperationDone);
  } catch (const Exception& failure) {
    // A failed commit has rolled back already; a failed statement is rolled back here.
    const DatabaseCallTimer timer(result);
    session.RollBackWork();
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
  session.Finish();
  return document;
}

}  // namespace xg
