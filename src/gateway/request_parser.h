// The request document: ParseRequest reads the decoded SENDDATA text with the XML parser into a
// RequestParams record; GetServiceKind maps a service name to its kind.
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
};

std::optional<ServiceKind> GetServiceKind(const std::string& name);

// Fills params from request_text. Raises on a document that is not well-formed (EDOMParseError),
// that lacks a required element, whose element text is not a single text node (EXMLDocError) or
// that has no second top-level node (EListError); fields already filled keep their values.
void ParseRequest(const std::string& request_text, RequestParams& params);

}  // namespace xg
