// The request document: ParseRequest reads the decoded SENDDATA text with the XML parser into a
// RequestParams record, once per request; that record is what the services and their session
// work from. GetServiceKind maps a service name to its kind.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace xg {

enum class ServiceKind : uint8_t { kStatus, kError, kOpenSql, kExecSql };

struct RequestParams {
  std::optional<ServiceKind> service;  // no kind when the name was not recognised
  std::string root;                    // name of the document's second top-level node
  std::string db;
  std::string user;
  std::string pass;  // still base64
  std::string sql;   // still base64

  // The password and the statement decoded. Decoded where they are used, not when parsed, so
  // that a request fails for what comes first (a refused database name, a failed attach) before
  // it fails for text that is not base64 (EDecodeError).
  std::string DecodedPassword() const;
  std::string DecodedSql() const;
};

std::optional<ServiceKind> GetServiceKind(const std::string& name);

// Fills params from request_text. Raises on a document that is not well-formed (EDOMParseError),
// that lacks a required element, whose element text is not a single text node (EXMLDocError) or
// that has no second top-level node (EListError); fields already filled keep their values.
void ParseRequest(const std::string& request_text, RequestParams& params);

}  // namespace xg
