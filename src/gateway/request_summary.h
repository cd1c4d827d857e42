// What the gateway's action tells the host about the request it answered, for the request log:
// the service, the database name and user the request named (never its password), the statement
// still in base64, the kind of failure document and its message, and the SQL service's result.
#pragma once

#include <string>

#include "gateway/service_result.h"

namespace xg {

struct RequestSummary {
  std::string service;  // SERVICESTATUS, ...; empty when the request named none the gateway knows
  std::string database;
  std::string user;
  std::string sql_base64;
  // The element of the failure document (ERROR, OPENSQL or EXECSQL) and its message; empty
  // when the request succeeded.
  std::string failure_document;
  std::string message;
  ServiceResult result;
};

}  // namespace xg
