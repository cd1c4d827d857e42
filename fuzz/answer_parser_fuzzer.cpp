// Fuzz target: the client's reading of an answer document, which comes from the network.
//
// The input is the answer's body. Checked for every input:
// - reading it either gives an answer or raises ClientError with the answer error's exit code,
//   and nothing else;
// - every name, kind and text of an answer is valid UTF-8 (the client prints them as UTF-8 and
//   in JSON);
// - the answer read as any service's result either gives rows whose JSON lines hold no raw
//   control character, or raises ClientError with the answer or server error's exit code.
#include <cstddef>
#include <cstdint>
#include <string>

#include "answer_parser.h"
#include "client_error.h"
#include "fuzz_check.h"
#include "output_format.h"
#include "result.h"

namespace {

using xg::client::ClientError;
using xg::client::ExitCode;
using xg::fuzz::Visible;

bool IsUtf8(const std::string& text) {
  for (size_t i = 0; i < text.size();) {
    const auto lead = static_cast<uint8_t>(text[i]);
    const size_t length = lead < 0x80                   ? 1
                          : lead >= 0xC2 && lead < 0xE0 ? 2
                          : lead >= 0xE0 && lead < 0xF0 ? 3
                          : lead >= 0xF0 && lead < 0xF5 ? 4
                                                        : 0;
    if (length == 0 || i + length > text.size()) return false;
    uint32_t code = length == 1 ? lead : lead & (0xFF >> (length + 1));
    for (size_t k = 1; k < length; ++k) {
      const auto next = static_cast<uint8_t>(text[i + k]);
      if ((next & 0xC0) != 0x80) return false;
      code = code << 6 | (next & 0x3F);
    }
    const uint32_t smallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (code < smallest[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
      return false;
    i += length;
  }
  return true;
}

void CheckValues(const std::vector<xg::client::AnswerValue>& values) {
  for (const auto& value : values) {
    XG_FUZZ_CHECK(IsUtf8(value.name) && IsUtf8(value.kind) && IsUtf8(value.text),
                  Visible(value.name + " " + value.kind + " " + value.text));
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string document(reinterpret_cast<const char*>(data), size);
  xg::client::Answer answer;
  try {
    answer = xg::client::ParseAnswer(document);
  } catch (const ClientError& error) {
    XG_FUZZ_CHECK(error.code() == ExitCode::kAnswer, error.what());
    return 0;
  }
  XG_FUZZ_CHECK(IsUtf8(answer.root), Visible(answer.root));
  for (const auto& [name, value] : answer.attributes)
    XG_FUZZ_CHECK(IsUtf8(name) && IsUtf8(value), Visible(name + "=" + value));
  CheckValues(answer.values);
  for (const auto& group : answer.groups) {
    XG_FUZZ_CHECK(IsUtf8(group.name), Visible(group.name));
    CheckValues(group.values);
  }
  for (const auto service : {xg::client::Service::kStatus, xg::client::Service::kError,
                             xg::client::Service::kOpenSql, xg::client::Service::kExecSql}) {
    try {
      const std::string json = xg::client::FormatJsonLines(xg::client::ReadResult(answer, service));
      for (const char c : json)
        XG_FUZZ_CHECK(static_cast<uint8_t>(c) >= 0x20 || c == '\n', Visible(json));
      XG_FUZZ_CHECK(IsUtf8(json), Visible(json));
    } catch (const ClientError& error) {
      XG_FUZZ_CHECK(error.code() == ExitCode::kAnswer || error.code() == ExitCode::kServer,
                    error.what());
    }
  }
  return 0;
}
