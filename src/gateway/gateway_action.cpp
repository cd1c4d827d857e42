#include "gateway/gateway_action.h"

#include "gateway/base64.h"
#include "gateway/form_fields.h"
#include "gateway/protocol_strings.h"
#include "gateway/request_parser.h"
#include "gateway/sql_services.h"
#include "gateway/status_documents.h"
#include "runtime/ascii_text.h"
#include "runtime/failure.h"

namespace xg {
namespace {

// The answer to a parsed request: the root must be the field name, then the service decides.
Spool Answer(const RequestParams& params, const std::string& request_text,
             const std::string& field_name, const std::string& user_agent,
             const RegionalSettings& settings) {
  if (!EqualsIgnoringAsciiCase(params.root, field_name))
    return BuildErrorXML("Elemento " + field_name + " n\xE3o encontrado", settings);
  if (!params.service) return BuildErrorXML("XML de entrada mal formatada", settings);
  switch (*params.service) {
    case ServiceKind::kStatus:
      return BuildStatusXML(request_text, user_agent, settings);
    case ServiceKind::kError:
      return BuildErrorXML("Erro desconhecido", settings);
    case ServiceKind::kOpenSql:
      return RunOpenSQL(request_text, settings);
    case ServiceKind::kExecSql:
      return RunExecSQL(request_text, settings);
  }
  return BuildErrorXML("XML de entrada mal formatada", settings);
}

}  // namespace

Spool GatewayAnswer(const std::function<std::string()>& read_form_body,
                    const std::string& user_agent, const RegionalSettings& settings) {
  std::string request_text;
  try {
    const std::string field_name = LoadResString(SSendData);
    FormFieldList fields;
    ParseFormFields(read_form_body(), fields);
    request_text = DecodeBase64(fields.Values(field_name));
    RequestParams params;
    ParseRequest(request_text, params);
    return Answer(params, request_text, field_name, user_agent, settings);
  } catch (...) {
    const Exception* failure = AsException(std::current_exception());
    if (!failure) throw;
    return BuildErrorXML(failure->Message() + "\r\r" + request_text, settings);
  }
}

}  // namespace xg
