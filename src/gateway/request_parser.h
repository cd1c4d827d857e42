// The request document: ParseRequest reads the decoded SENDDATA text with the XML parser into a
// TXMLParams record; GetServiceKind maps a service name to its kind.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace xg {

enum TServiceKind : uint8_t { skStatus = 0, skError = 1, skOpenSQL = 2, skExecSQL = 3 };

struct TXMLParams {
  std::optional<TServiceKind> Service;  // no kind when the name was not recognised
  std::string Root;  // name of the document's second top-level node
  std::string DB;
  std::string User;
  std::string Pass;  // still base64
  std::string SQL;   // still base64
};

std::optional<TServiceKind> GetServiceKind(const std::string& name);

// Fills Params from RequestText. Raises on a document that is not well-formed (EDOMParseError),
// that lacks a required element, whose element text is not a single text node (EXMLDocError) or
// that has no second top-level node (EListError); fields already filled keep their values.
void ParseRequest(const std::string& RequestText, TXMLParams& Params);

}  // namespace xg
