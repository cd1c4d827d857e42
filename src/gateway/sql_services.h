// The two SQL services: RunOpenSQL answers every row of a SELECT as an OPENSQL document,
// RunExecSQL executes and commits a statement and answers an EXECSQL document. Each takes the
// decoded request document; failures of the set-up leave the call as exceptions.
#pragma once

#include <string>

namespace xg {

std::string RunOpenSQL(const std::string& RequestText);
std::string RunExecSQL(const std::string& RequestText);

}  // namespace xg
