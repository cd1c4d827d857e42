// Stand-in for the two SQL services while the database layer is not part of the program: each
// answers with an honest failure, which the gateway action turns into an ERROR document.
#include "gateway/sql_services.h"
#include "runtime/exceptions.h"
#include "runtime/resource_strings.h"

namespace xg {
namespace {

XG_RESOURCE(SServiceUnavailable, "Servi\xE7o n\xE3o dispon\xEDvel");

}  // namespace

std::string RunOpenSQL(const std::string&) {
  throw Exception(LoadResString(SServiceUnavailable));
}

std::string RunExecSQL(const std::string&) {
  throw Exception(LoadResString(SServiceUnavailable));
}

}  // namespace xg
