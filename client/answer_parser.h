// Reading the gateway's answer documents. Every answer is an ISO-8859-1 document written one
// element per line: the declaration, the root's opening tag (with RECORDCOUNT on a query's
// answer), value lines ` <NAME DATATYPE="KIND"[ DATASIZE="n"]>text</NAME>`, groups of value lines
// between tag lines (`<DATATYPES>`, `<RECORD1>`), and the root's closing tag, each line ending in
// CR LF. A well-formed answer is read by libxml2. A gateway of an earlier version writes some
// values unescaped (a "<", an "&" outside query answers, control characters, NULs, an error
// message that quotes the request), and such an answer is no well-formed XML: it is read by its
// lines instead, each value's text running to its closing tag at the end of a line.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace xg::client {

// Names, kinds and texts in UTF-8; a text with its character and entity references resolved.
struct AnswerValue {
  std::string name;
  std::string kind;  // the DATATYPE attribute
  std::string text;
};

struct AnswerGroup {
  std::string name;
  std::vector<AnswerValue> values;
};

struct Answer {
  std::string root;
  std::map<std::string, std::string> attributes;  // the root's
  std::vector<AnswerValue> values;                // value lines directly inside the root
  std::vector<AnswerGroup> groups;                // in document order
};

// Raises ClientError (an answer error) with the line at fault when the text is not an answer
// document of that shape.
Answer ParseAnswer(const std::string& document);

// A value's text as the line reader takes it, as close to an XML parser's reading as the text
// allows: ISO-8859-1; CR LF and a lone CR read as LF; the references "&amp;", "&lt;", "&gt;",
// "&quot;", "&apos;", "&#N;" and "&#xH;" resolved, any other "&" kept; in UTF-8.
std::string DecodeValueText(std::string_view latin1);

}  // namespace xg::client
