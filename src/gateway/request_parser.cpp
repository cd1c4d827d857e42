#include "gateway/request_parser.h"

#include "gateway/xml_document.h"
#include "protocol/base64.h"
#include "protocol/protocol_strings.h"
#include "texts/ascii_text.h"
#include "texts/exceptions.h"
#include "texts/format.h"
#include "texts/resource_strings.h"
#include "texts/runtime_messages.h"

namespace xg {
namespace {

XG_RESOURCE(SEmptyRequestDocument, "The request holds no XML document");
XG_RESOURCE(SRequiredElementMissing, "Element %s not found in the request document");

std::string RequiredElementText(const XmlNode& document_element, const ResourceString& element) {
  std::string name = LoadResString(element);
  std::optional<XmlNode> node = document_element.FindChild(name);
  if (!node) throw EXMLDocError(Format(LoadResString(SRequiredElementMissing), {name}));
  return node->Text();
}

}  // namespace

std::string RequestParams::DecodedPassword() const {
  return DecodeBase64(pass);
}

std::string RequestParams::DecodedSql() const {
  return DecodeBase64(sql);
}

std::optional<ServiceKind> GetServiceKind(const std::string& name) {
  const struct {
    const ResourceString& name;
    ServiceKind kind;
  } services[] = {
      {SServiceStatus, ServiceKind::kStatus},
      {SServiceError, ServiceKind::kError},
      {SServiceOpenSQL, ServiceKind::kOpenSql},
      {SServiceExecSQL, ServiceKind::kExecSql},
  };
  for (const auto& service : services)
    if (EqualsIgnoringAsciiCase(name, LoadResString(service.name))) return service.kind;
  return std::nullopt;
}

void ParseRequest(const std::string& request_text, RequestParams& params) {
  XmlDocument document(request_text);
  if (document.Empty()) throw EXMLDocError(LoadResString(SEmptyRequestDocument));
  XmlNode document_element = document.DocumentElement();

  // SERVICE is read before the top-level nodes: a request that lacks both fails for the
  // missing element.
  params.service = GetServiceKind(RequiredElementText(document_element, SService));

  std::vector<std::string> top_level = document.TopLevelNodeNames();
  constexpr int kRootIndex = 1;
  if (top_level.size() <= kRootIndex)
    throw EListError(Format(LoadResString(SListIndexError), {int64_t{kRootIndex}}));
  params.root = top_level[kRootIndex];

  if (params.service == ServiceKind::kOpenSql || params.service == ServiceKind::kExecSql) {
    params.db = RequiredElementText(document_element, SDB);
    params.user = RequiredElementText(document_element, SUser);
    params.pass = RequiredElementText(document_element, SPass);
    params.sql = RequiredElementText(document_element, SSQL);
  }
}

}  // namespace xg
