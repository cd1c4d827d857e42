#include "gateway/request_parser.h"

#include "gateway/protocol_strings.h"
#include "gateway/xml_document.h"
#include "runtime/ascii_text.h"
#include "runtime/exceptions.h"
#include "runtime/format.h"
#include "runtime/resource_strings.h"
#include "runtime/runtime_messages.h"

namespace xg {
namespace {

XG_RESOURCE(SEmptyRequestDocument, "The request holds no XML document");
XG_RESOURCE(SRequiredElementMissing, "Element %s not found in the request document");

std::string RequiredElementText(const XmlNode& documentElement, const ResourceString& element) {
  std::string name = LoadResString(element);
  std::optional<XmlNode> node = documentElement.FindChild(name);
  if (!node) throw EXMLDocError(Format(LoadResString(SRequiredElementMissing), {name}));
  return node->Text();
}

}  // namespace

std::optional<TServiceKind> GetServiceKind(const std::string& name) {
  const struct {
    const ResourceString& name;
    TServiceKind kind;
  } services[] = {
      {SServiceStatus, skStatus},
      {SServiceError, skError},
      {SServiceOpenSQL, skOpenSQL},
      {SServiceExecSQL, skExecSQL},
  };
  for (const auto& service : services)
    if (EqualsIgnoringAsciiCase(name, LoadResString(service.name))) return service.kind;
  return std::nullopt;
}

void ParseRequest(const std::string& RequestText, TXMLParams& Params) {
  XmlDocument document(RequestText);
  if (document.Empty()) throw EXMLDocError(LoadResString(SEmptyRequestDocument));
  XmlNode documentElement = document.DocumentElement();

  // SERVICE is read before the top-level nodes: a request that lacks both fails for the
  // missing element.
  Params.Service = GetServiceKind(RequiredElementText(documentElement, SService));

  std::vector<std::string> topLevel = document.TopLevelNodeNames();
  const int rootIndex = 1;
  if (topLevel.size() <= rootIndex)
    throw EListError(Format(LoadResString(SListIndexError), {int64_t{rootIndex}}));
  Params.Root = topLevel[rootIndex];

  if (Params.Service == skOpenSQL || Params.Service == skExecSQL) {
    Params.DB = RequiredElementText(documentElement, SDB);
    Params.User = RequiredElementText(documentElement, SUser);
    Params.Pass = RequiredElementText(documentElement, SPass);
    Params.SQL = RequiredElementText(documentElement, SSQL);
  }
}

}  // namespace xg
