// The two SQL services: RunOpenSql answers every row of a SELECT as an OPENSQL document,
// RunExecSql executes and commits a statement and answers an EXECSQL document. Each takes the
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
Spool RunOpenSql(const RequestParams& request, const GatewayContext& context,
                 const RegionalSettings& settings, ServiceResult& result);
std::string RunExecSql(const RequestParams& request, const GatewayContext& context,
                       const RegionalSettings& settings, ServiceResult& result);

// The same for a caller that needs no result.
inline Spool RunOpenSql(const RequestParams& request, const GatewayContext& context,
                        const RegionalSettings& settings) {
  ServiceResult ignored;
  return RunOpenSql(request, context, settings, ignored);
}
inline std::string RunExecSql(const RequestParams& request, const GatewayContext& context,
                              const RegionalSettings& settings) {
  ServiceResult ignored;
  return RunExecSql(request, context, settings, ignored);
}

}  // namespace xg
