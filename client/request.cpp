#include "request.h"

#include <iterator>

#include "protocol/base64.h"
#include "protocol/protocol_strings.h"
#include "texts/markup_escape.h"

namespace xg::client {
namespace {

// The client speaks the protocol's own names: the built-in texts of the gateway's string table.
std::string_view Name(const ResourceString& resource) {
  return resource.text;
}

// Each service: its name in the request and the root element of its answer.
struct ServiceNames {
  Service service;
  const ResourceString& name;
  const ResourceString& answer_root;
};

constexpr ServiceNames kServices[] = {
    {Service::kStatus, SServiceStatus, SStatus},
    {Service::kError, SServiceError, SError},
    {Service::kOpenSql, SServiceOpenSQL, SOpenSQL},
    {Service::kExecSql, SServiceExecSQL, SExecSQL},
};

constexpr bool InServiceOrder() {
  for (size_t i = 0; i < std::size(kServices); ++i)
    if (static_cast<size_t>(kServices[i].service) != i) return false;
  return true;
}
static_assert(InServiceOrder(), "kServices is indexed by Service");

const ServiceNames& ServiceEntry(Service service) {
  return kServices[static_cast<size_t>(service)];
}

void AddElement(std::string& document, std::string_view name, std::string_view text) {
  document.append("<").append(name).append(">");
  document.append(text);
  document.append("</").append(name).append(">");
}

}  // namespace

std::string_view ServiceName(Service service) {
  return Name(ServiceEntry(service).name);
}

std::string_view AnswerRoot(Service service) {
  return Name(ServiceEntry(service).answer_root);
}

std::string BuildRequestDocument(const Request& request) {
  std::string document(Name(SXMLDeclaration));
  document.append("<").append(Name(SSendData)).append(">");
  AddElement(document, Name(SService), ServiceName(request.service));
  if (request.service == Service::kOpenSql || request.service == Service::kExecSql) {
    AddElement(document, Name(SDB), EscapeMarkup(request.database, QuoteEscaping::kKeep));
    AddElement(document, Name(SUser), EscapeMarkup(request.user, QuoteEscaping::kKeep));
    AddElement(document, Name(SPass), EncodeBase64(request.password));
    AddElement(document, Name(SSQL), EncodeBase64(request.sql));
  }
  document.append("</").append(Name(SSendData)).append(">");
  return document;
}

std::string PercentEncode(std::string_view bytes) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string encoded;
  encoded.reserve(bytes.size() * 3);
  for (const char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    if ((byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') ||
        (byte >= '0' && byte <= '9') || byte == '-' || byte == '_' || byte == '.' || byte == '~') {
      encoded += c;
    } else {
      encoded += '%';
      encoded += kHex[byte >> 4];
      encoded += kHex[byte & 15];
    }
  }
  return encoded;
}

std::string BuildFormBody(std::string_view document) {
  return std::string(Name(SSendData)) + "=" + PercentEncode(EncodeBase64(document));
}

}  // namespace xg::client
