// Fuzz target: parsing the decoded request document.
//
// The input is the request text as DecodeBase64 would hand it over. Checked for every input:
// - ParseRequest either fills the record or raises one of the failures of a request document
//   (EDOMParseError, EXMLDocError, EListError) with a message; nothing else leaves it;
// - a filled record has a root name, and the database fields stay empty unless the service is
//   one of the two SQL services;
// - nothing outside the input reaches the record or a message: a marker file that the target
//   writes at start-up (and /etc/passwd) can be named by external entities or DTDs in the
//   input, and its text must never come back.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "fuzz_check.h"
#include "gateway/request_parser.h"
#include "texts/exceptions.h"

namespace {

using xg::fuzz::Visible;

// The seeds name this file in external entities and document type declarations.
constexpr char kMarkerPath[] = "/tmp/xmlgateway-fuzz-marker.txt";
constexpr char kMarker[] = "XG_MARKER_FROM_OUTSIDE";
constexpr char kPasswdText[] = "root:x:0:0";

// A text that carries something the input did not.
bool Leaks(const std::string& text, const std::string& input) {
  for (const std::string foreign : {kMarker, kPasswdText})
    if (text.find(foreign) != std::string::npos && input.find(foreign) == std::string::npos)
      return true;
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  if (FILE* file = std::fopen(kMarkerPath, "w")) {
    std::fputs(kMarker, file);
    std::fclose(file);
  }
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  xg::RequestParams params;
  try {
    xg::ParseRequest(input, params);
  } catch (const xg::Exception& e) {
    const std::string className = e.ClassName();
    XG_FUZZ_CHECK(
        className == "EDOMParseError" || className == "EXMLDocError" || className == "EListError",
        "unexpected failure " + className + ": " + Visible(e.Message()));
    XG_FUZZ_CHECK(!e.Message().empty(), "failure without a message: " + className);
    XG_FUZZ_CHECK(!Leaks(e.Message(), input), "outside text in: " + Visible(e.Message()));
    return 0;
  }

  XG_FUZZ_CHECK(!params.root.empty(), "no root name for " + Visible(input));
  const bool sql =
      params.service == xg::ServiceKind::kOpenSql || params.service == xg::ServiceKind::kExecSql;
  if (!sql)
    XG_FUZZ_CHECK(
        params.db.empty() && params.user.empty() && params.pass.empty() && params.sql.empty(),
        "database fields read for another service: " + Visible(input));
  for (const std::string* field :
       {&params.root, &params.db, &params.user, &params.pass, &params.sql})
    XG_FUZZ_CHECK(!Leaks(*field, input), "outside text in: " + Visible(*field));
  return 0;
}
