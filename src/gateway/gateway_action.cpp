#include "gateway/gateway_action.h"

#include "gateway/form_fields.h"
#include "gateway/request_parser.h"
#include "gateway/sql_services.h"
#include "gateway/status_documents.h"
#include "process/failure.h"
#include "protocol/base64.h"
#include "protocol/protocol_strings.h"
#include "texts/ascii_text.h"

namespace xg {
namespace {

// The service's name as the protocol spells it.
const ResourceString& ServiceName(ServiceKind kind) {
  switch (kind) {
    case ServiceKind::kStatus:
      return SServiceStatus;
    case ServiceKind::kError:
      return SServiceError;
    case ServiceKind::kOpenSql:
      return SServiceOpenSQL;
    case ServiceKind::kExecSql:
      break;
  }
  return SServiceExecSQL;
}

// An ERROR document, noted in the summary.
Spool ErrorAnswer(const std::string& message, const RegionalSettings& settings,
                  RequestSummary& summary) {
  summary.failure_document = LoadResString(SError);
  summary.message = message;
  return BuildErrorXml(message, settings);
}

// The document of a SQL service, noted in the summary when it is its failure document.
template <typename Answer>
Answer ServiceAnswer(Answer answer, const ResourceString& document, RequestSummary& summary) {
  if (!summary.result.failure.empty()) {
    summary.failure_document = LoadResString(document);
    summary.message = summary.result.failure;
  }
  return answer;
}

// The answer to a parsed request: the root must be the field name, then the service decides.
Spool Answer(const RequestParams& params, const std::string& request_text,
             const std::string& field_name, const std::string& user_agent,
             const GatewayContext& context, const RegionalSettings& settings,
             RequestSummary& summary) {
  if (!EqualsIgnoringAsciiCase(params.root, field_name))
    return ErrorAnswer("Elemento " + field_name + " n\xE3o encontrado", settings, summary);
  if (!params.service) return ErrorAnswer("XML de entrada mal formatada", settings, summary);
  summary.service = LoadResString(ServiceName(*params.service));
  summary.database = params.db;
  summary.user = params.user;
  summary.sql_base64 = params.sql;
  switch (*params.service) {
    case ServiceKind::kStatus:
      return BuildStatusXml(request_text, user_agent, settings);
    case ServiceKind::kError:
      return ErrorAnswer("Erro desconhecido", settings, summary);
    case ServiceKind::kOpenSql:
      return ServiceAnswer(RunOpenSql(params, context, settings, summary.result), SOpenSQL,
                           summary);
    case ServiceKind::kExecSql:
      return ServiceAnswer(RunExecSql(params, context, settings, summary.result), SExecSQL,
                           summary);
  }
  return ErrorAnswer("XML de entrada mal formatada", settings, summary);
}

}  // namespace

Spool GatewayAnswer(const std::function<std::string()>& read_form_body,
                    const std::string& user_agent, const GatewayContext& context,
                    const RegionalSettings& settings, RequestSummary& summary) {
  std::string request_text;
  try {
    const std::string field_name = LoadResString(SSendData);
    FormFieldList fields;
    ParseFormFields(read_form_body(), fields);
    request_text = DecodeBase64(fields.Values(field_name));
    RequestParams params;
    ParseRequest(request_text, params);
    return Answer(params, request_text, field_name, user_agent, context, settings, summary);
  } catch (...) {
    const Exception* failure = AsException(std::current_exception());
    if (!failure) throw;
    // The summary takes the message alone: the request text after it holds the password.
    summary.failure_document = LoadResString(SError);
    summary.message = failure->Message();
    return BuildErrorXml(failure->Message() + "\r\r" + request_text, settings);
  }
}

}  // namespace xg
