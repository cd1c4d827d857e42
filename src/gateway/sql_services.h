// The two SQL services: RunOpenSQL answers every row of a SELECT as an OPENSQL document,
// RunExecSQL executes and commits a statement and answers an EXECSQL document. Each takes the
// parsed request and the process's context, and fills `result` as it goes (service_result.h);
// failures of the set-up leave the call as exceptions. Work is committed only where the protocol
// keeps it; a failure that leaves the service leaves nothing in the database.
#pragma once

#include <string>

#include "gateway/gateway_context.h"
#include "gateway/request_parser.h"
#include "gateway/service_result.h"
#include "process/spool.h"
#include "values/regional_settings.h"

namespace xg {

// The values of the answer are written with the settings.
Spool RunOpenSQL(const RequestParams& request, const GatewayContext& context,
                 const RegionalSettings& settings, ServiceResult& result);
std::string RunExecSQL(const RequestParams& request, const GatewayContext& context,
                       const RegionalSettings& settings, ServiceResult& result);

// The same for a caller that needs no result.
inline Spool RunOpenSQL(const RequestParams& request, const GatewayContext& context,
                        const RegionalSettings& settings) {
  ServiceResult ignored;
  return RunOpenSQL(request, context, settings, ignored);
}
inline std::string RunExecSQL(const RequestParams& request, const GatewayContext& context,
                              const RegionalSettings& settings) {
  ServiceResult ignored;
  return RunExecSQL(request, context, settings, ignored);
}

}  // namespace xg
