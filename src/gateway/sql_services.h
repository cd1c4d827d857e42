// The two SQL services: RunOpenSQL answers every row of a SELECT as an OPENSQL document,
// RunExecSQL executes and commits a statement and answers an EXECSQL document. Each takes the
// decoded request document and fills `result` as it goes (service_result.h); failures of the
// set-up leave the call as exceptions.
#pragma once

#include <string>

#include "gateway/service_result.h"
#include "runtime/regional_settings.h"
#include "runtime/spool.h"

namespace xg {

// The values of the answer are written with the settings.
Spool RunOpenSQL(const std::string& request_text, const RegionalSettings& settings,
                 ServiceResult& result);
std::string RunExecSQL(const std::string& request_text, const RegionalSettings& settings,
                       ServiceResult& result);

// The same for a caller that needs no result.
inline Spool RunOpenSQL(const std::string& request_text, const RegionalSettings& settings) {
  ServiceResult ignored;
  return RunOpenSQL(request_text, settings, ignored);
}
inline std::string RunExecSQL(const std::string& request_text, const RegionalSettings& settings) {
  ServiceResult ignored;
  return RunExecSQL(request_text, settings, ignored);
}

}  // namespace xg
