#include "host/gateway_module.h"

#include "gateway/base64.h"
#include "gateway/protocol_strings.h"
#include "gateway/request_parser.h"
#include "gateway/sql_services.h"
#include "gateway/status_documents.h"
#include "host/failure.h"
#include "runtime/ascii_text.h"

namespace xg {
namespace {

// The answer to a parsed request: the root must be the field name, then the service decides.
std::string Answer(const TXMLParams& params, const std::string& requestText,
                   const std::string& fieldName, TWebRequest& request,
                   const RegionalSettings& settings) {
  if (!EqualsIgnoringAsciiCase(params.Root, fieldName))
    return BuildErrorXML("Elemento " + fieldName + " n\xE3o encontrado", settings);
  if (!params.Service) return BuildErrorXML("XML de entrada mal formatada", settings);
  switch (*params.Service) {
    case skStatus:
      return BuildStatusXML(requestText, request.UserAgent(), settings);
    case skError:
      return BuildErrorXML("Erro desconhecido", settings);
    case skOpenSQL:
      return RunOpenSQL(requestText, settings);
    case skExecSQL:
      return RunExecSQL(requestText, settings);
  }
  return BuildErrorXML("XML de entrada mal formatada", settings);
}

std::unique_ptr<TWebModule> CreateWM1(const RegionalSettings& settings) {
  return std::make_unique<TWM1>(settings);
}

}  // namespace

TWM1::TWM1(const RegionalSettings& settings) : settings_(settings) {
  TWebActionItem& item = Actions().Add();
  item.SetDefault(true);
  item.Enabled = true;
  item.MethodType = mtAny;
  item.SetName("Default");
  item.SetPathInfo("/Default");
  item.OnAction = [this](TObject& sender, TWebRequest& request, TWebResponse& response,
                         bool& handled) { WM1DefaultAction(sender, request, response, handled); };
}

const TWebModuleClass& TWM1::Class() {
  static const TWebModuleClass moduleClass{"TWM1", &CreateWM1};
  return moduleClass;
}

void TWM1::WM1DefaultAction(TObject& /*Sender*/, TWebRequest& Request, TWebResponse& Response,
                            bool& /*Handled*/) {
  std::string requestText;
  try {
    const std::string fieldName = LoadResString(SSendData);
    const std::string encoded = Request.FormFields().Values(fieldName);
    requestText = DecodeBase64(encoded);
    TXMLParams params;
    ParseRequest(requestText, params);
    Response.SetContent(Answer(params, requestText, fieldName, Request, settings_));
  } catch (...) {
    const Exception* failure = AsException(std::current_exception());
    if (!failure) throw;
    Response.SetContent(BuildErrorXML(failure->Message() + "\r\r" + requestText, settings_));
  }
}

}  // namespace xg
