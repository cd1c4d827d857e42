// The two SQL services: RunOpenSQL answers every row of a SELECT as an OPENSQL document,
// RunExecSQL executes and commits a statement and answers an EXECSQL document. Each takes the
// decoded request document; failures of the set-up leave the call as exceptions.
#pragma once

#include <string>

#include "runtime/regional_settings.h"
#include "runtime/spool.h"

namespace xg {

// The values of the answer are written with the settings.
Spool RunOpenSQL(const std::string& request_text, const RegionalSettings& settings);
std::string RunExecSQL(const std::string& request_text, const RegionalSettings& settings);

}  // namespace xg
