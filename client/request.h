// Building a request as every client of the gateway must: an XML request document naming the
// service (and, for the two SQL services, the database, the user, the password and the SQL, the
// last two in base64), the whole document in base64, posted as the form field SENDDATA with
// percent-encoding.
#pragma once

#include <string>
#include <string_view>

namespace xg::client {

enum class Service { kStatus, kError, kOpenSql, kExecSql };

// Every text is ISO-8859-1 bytes. The database, user, password and SQL are sent only for the two
// SQL services.
struct Request {
  Service service = Service::kStatus;
  std::string database;
  std::string user;
  std::string password;
  std::string sql;
};

// The service's name in the request ("SERVICESTATUS", ...).
std::string_view ServiceName(Service service);

// The root element of the service's answer ("STATUS", ...); any service may also be answered
// with an ERROR document.
std::string_view AnswerRoot(Service service);

// The request document, ISO-8859-1 and declared so: the database and user names as element text
// with "&", "<" and ">" escaped, the password and the SQL in base64.
std::string BuildRequestDocument(const Request& request);

// Percent-encoding of a form field value: every byte except letters, digits and "-_.~" becomes
// "%" and two upper-case hexadecimal digits.
std::string PercentEncode(std::string_view bytes);

// The form body: "SENDDATA=" and the percent-encoded base64 of the document.
std::string BuildFormBody(std::string_view document);

}  // namespace xg::client
