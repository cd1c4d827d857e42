// Fuzz target: the whole request cycle, environment and body in, bytes out. The host serves a
// request held in memory with the gateway's action, as the program serves its CGI request.
//
// Input layout:
//   byte 0        flags: bit 0 the body is an XML request to be sent as a client sends it
//                 ("SENDDATA=" and its base64, percent-encoded; bit 6 leaves "+" unencoded, so
//                 it arrives as a blank); bit 1 CONTENT_LENGTH is the body's length (its line
//                 is then ignored); bits 2-3 choose the regional settings (fuzz_locale.h);
//                 bits 4-5 how standard input delivers the body: in one read, in reads of 7
//                 bytes, half of it and then a failing read, in reads of one byte
//   five lines    REQUEST_METHOD, SERVER_PROTOCOL, PATH_INFO, CONTENT_LENGTH, HTTP_USER_AGENT,
//                 each ended by LF; a value ends at its first NUL as in a real environment; an
//                 empty line leaves the variable unset
//   the rest      the body (or, with bit 0, the XML request)
//
// Checked for every input: Serve returns normally; the output is never empty; a CONTENT_LENGTH
// above the request limit gets the server failure page, with the two browser safety lines;
// otherwise, with SERVER_PROTOCOL set, the output starts with "Status: " and is the normal
// answer "Status: 200 OK" whose Content-Length line equals the length of the body after the
// header block and whose "Content:" line comes right after the safety lines; every answer's
// body is an XML document that starts with the declaration line (the action turns every
// failure into an ERROR document).
//
// The database road is kept out of reach here, in the target only: the two SQL services would
// attach to whatever database the input names. Before the run, the target reads the request
// exactly as the action does (a separate request object over the same environment and body,
// its SENDDATA field, base64 decoding, ParseRequest) and skips the input when the document
// names SERVICEOPENSQL or SERVICEEXECSQL. Everything up to that choice and every other
// service is exercised; the program itself has no hook for this.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <deque>
#include <map>
#include <memory>
#include <string>

#include "fuzz_check.h"
#include "fuzz_locale.h"
#include "gateway/form_fields.h"
#include "gateway/request_parser.h"
#include "host/cgi_request.h"
#include "host/startup.h"
#include "protocol/base64.h"
#include "protocol/protocol_strings.h"
#include "support/fake_request.h"
#include "support/request_body.h"
#include "texts/exceptions.h"

namespace {

using xg::fuzz::Visible;

// The variables and the body deliveries of one request.
struct RequestInput {
  std::map<std::string, std::string> variables;
  std::deque<xg::test::FakeRequest::ScriptedRead> reads;
};

// A request held in memory over the input.
std::unique_ptr<xg::test::FakeRequest> MakeRequest(const RequestInput& input) {
  auto request = std::make_unique<xg::test::FakeRequest>();
  request->variables = input.variables;
  request->reads = input.reads;
  return request;
}

std::string FormBody(const std::string& xml, bool keepPlus) {
  std::string body = "SENDDATA=";
  for (char c : xg::test::Base64Encode(xml)) {
    if (c == '+' && !keepPlus)
      body += "%2B";
    else if (c == '/')
      body += "%2F";
    else if (c == '=')
      body += "%3D";
    else
      body += c;
  }
  return body;
}

std::deque<xg::test::FakeRequest::ScriptedRead> Delivery(const std::string& body, int mode) {
  std::deque<xg::test::FakeRequest::ScriptedRead> reads;
  if (body.empty()) return reads;
  switch (mode) {
    case 0:
      reads.push_back({body});
      break;
    case 1:
    case 3: {
      const size_t chunk = mode == 1 ? 7 : 1;
      for (size_t i = 0; i < body.size(); i += chunk) reads.push_back({body.substr(i, chunk)});
      break;
    }
    case 2:
      reads.push_back({body.substr(0, body.size() / 2)});
      reads.push_back({"", true});
      reads.push_back({body.substr(body.size() / 2)});  // never reached: the failure ends input
      break;
  }
  return reads;
}

RequestInput Decode(const uint8_t* data, size_t size) {
  RequestInput request;
  const uint8_t flags = data[0];
  std::string rest(reinterpret_cast<const char*>(data) + 1, size - 1);
  static const char* const kNames[] = {"REQUEST_METHOD", "SERVER_PROTOCOL", "PATH_INFO",
                                       "CONTENT_LENGTH", "HTTP_USER_AGENT"};
  for (const char* name : kNames) {
    const size_t end = rest.find('\n');
    std::string line = rest.substr(0, end);
    rest = end == std::string::npos ? std::string() : rest.substr(end + 1);
    line = line.substr(0, line.find('\0'));
    if (!line.empty()) request.variables[name] = line;
  }
  const std::string body = flags & 0x01 ? FormBody(rest, flags & 0x40) : rest;
  if (flags & 0x02) request.variables["CONTENT_LENGTH"] = std::to_string(body.size());
  request.reads = Delivery(body, (flags >> 4) & 0x03);
  return request;
}

// Whether the action would hand this request to one of the SQL services: the same reading of
// the same request, on a request object of its own.
bool ReachesDatabase(const RequestInput& request) {
  const std::unique_ptr<xg::test::FakeRequest> input = MakeRequest(request);
  try {
    xg::CgiRequest probe(*input);
    xg::FormFieldList fields;
    xg::ParseFormFields(probe.ReadFormBody(), fields);
    const std::string encoded = fields.Values(xg::LoadResString(xg::SSendData));
    xg::RequestParams params;
    xg::ParseRequest(xg::DecodeBase64(encoded), params);
    return params.service == xg::ServiceKind::kOpenSql ||
           params.service == xg::ServiceKind::kExecSql;
  } catch (const xg::Exception&) {
    return false;  // the action answers such a request with an ERROR document
  }
}

// Whether the request object refuses the request before reading its body: a CONTENT_LENGTH
// above the configured limit. The request cycle then writes the server failure page.
bool RefusedAsTooLarge(const RequestInput& request) {
  const std::unique_ptr<xg::test::FakeRequest> input = MakeRequest(request);
  try {
    xg::CgiRequest probe(*input);
  } catch (const xg::EWebException&) {
    return true;
  }
  return false;
}

bool StartsWith(const std::string& text, const std::string& prefix) {
  return text.compare(0, prefix.size(), prefix) == 0;
}

void CheckDocument(const std::string& body, const std::string& output) {
  XG_FUZZ_CHECK(StartsWith(body, xg::LoadResString(xg::SXMLDeclaration) + "\r\n"),
                "the answer is no XML document: " + Visible(output));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return -1;
  const RequestInput request = Decode(data, size);
  if (ReachesDatabase(request)) return -1;
  const xg::RegionalSettings& settings =
      xg::fuzz::SettingsOf(xg::fuzz::HostOf((data[0] >> 2) & 0x03));

  const std::unique_ptr<xg::test::FakeRequest> served = MakeRequest(request);
  try {
    xg::Host(settings, &xg::GatewayAction).Serve(*served);
  } catch (...) {
    XG_FUZZ_CHECK(false, "Serve did not return normally");
  }

  const std::string output = served->Output();
  XG_FUZZ_CHECK(!output.empty(), "empty output");
  const std::string safetyLines =
      "\r\nContent-Security-Policy: sandbox\r\nX-Content-Type-Options: nosniff\r\n";
  if (RefusedAsTooLarge(request)) {
    XG_FUZZ_CHECK(StartsWith(output, "Status: 500 Request body of "),
                  "a body above the limit is not refused: " + Visible(output));
    XG_FUZZ_CHECK(output.find(safetyLines + "\r\n<html>") != std::string::npos,
                  "the failure page lacks the safety lines: " + Visible(output));
    return 0;
  }
  auto protocol = request.variables.find("SERVER_PROTOCOL");
  if (protocol == request.variables.end()) {
    CheckDocument(output, output);
    return 0;
  }
  XG_FUZZ_CHECK(StartsWith(output, "Status: "), "no status line: " + Visible(output));
  XG_FUZZ_CHECK(StartsWith(output, "Status: 200 OK\r\n"),
                "not the normal answer: " + Visible(output));
  const size_t headerEnd = output.find("\r\n\r\n");
  XG_FUZZ_CHECK(headerEnd != std::string::npos, "no end of the header block: " + Visible(output));
  const std::string headers = output.substr(0, headerEnd + 2);
  XG_FUZZ_CHECK(headers.ends_with(safetyLines + "Content:\r\n"),
                "the safety lines do not come right before the Content line: " + Visible(output));
  const std::string body = output.substr(headerEnd + 4);
  const std::string lengthLine = "\r\nContent-Length: ";
  const size_t at = headers.find(lengthLine);
  XG_FUZZ_CHECK(at != std::string::npos, "no Content-Length line: " + Visible(output));
  const size_t valueStart = at + lengthLine.size();
  const std::string length =
      headers.substr(valueStart, headers.find("\r\n", valueStart) - valueStart);
  XG_FUZZ_CHECK(length == std::to_string(body.size()),
                "Content-Length " + length + " for a body of " + std::to_string(body.size()) +
                    " bytes: " + Visible(output));
  CheckDocument(body, output);
  return 0;
}
