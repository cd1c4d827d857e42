#include "request.h"

#include <gtest/gtest.h>

#include "gateway/form_fields.h"
#include "gateway/request_parser.h"
#include "protocol/base64.h"

namespace xg::client {
namespace {

using namespace std::string_literals;

TEST(BuildRequestDocument, ProbesCarryTheServiceAlone) {
  EXPECT_EQ(BuildRequestDocument({Service::kStatus, "db", "user", "pw", "sql"}),
            "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><SENDDATA>"
            "<SERVICE>SERVICESTATUS</SERVICE></SENDDATA>");
  EXPECT_EQ(BuildRequestDocument({Service::kError, "", "", "", ""}),
            "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><SENDDATA>"
            "<SERVICE>SERVICEERROR</SERVICE></SENDDATA>");
}

TEST(BuildRequestDocument, EscapesNamesAndEncodesPasswordAndSql) {
  EXPECT_EQ(BuildRequestDocument(
                {Service::kExecSql, "/d/a&b<c>.fdb", "Jos\xE9", "m&k", "update t set a = 'x<y'"}),
            "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><SENDDATA>"
            "<SERVICE>SERVICEEXECSQL</SERVICE><DB>/d/a&amp;b&lt;c&gt;.fdb</DB>"
            "<USER>Jos\xE9</USER><PASS>bSZr</PASS>"
            "<SQL>dXBkYXRlIHQgc2V0IGEgPSAneDx5Jw==</SQL></SENDDATA>");
}

// The form body goes through the gateway's own intake (form fields, base64, request parser) and
// every field arrives as the client meant it, Latin-1 letters, markup and NULs included.
TEST(BuildFormBody, TheGatewayReadsBackEveryField) {
  const struct {
    Request request;
    ServiceKind kind;
  } cases[] = {
      {{Service::kStatus, "", "", "", ""}, ServiceKind::kStatus},
      {{Service::kOpenSql, "host:/var/db/a&b <x>.fdb", "Jos\xE9 \"q\"", "p+w/=\xFF",
        "select 'a&b<c>\xE7', ':x' from t\r\nwhere 1=1 \0 tail"s},
       ServiceKind::kOpenSql},
      {{Service::kExecSql, "/tmp/d.fdb", "SYSDBA", "", ""}, ServiceKind::kExecSql},
  };
  for (const auto& c : cases) {
    const std::string body = BuildFormBody(BuildRequestDocument(c.request));
    EXPECT_EQ(body.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"
                                     "0123456789%="),
              std::string::npos)
        << body;
    FormFieldList fields;
    ParseFormFields(body, fields);
    ASSERT_EQ(fields.Count(), 1u);
    RequestParams params;
    ParseRequest(DecodeBase64(fields.Values("SENDDATA")), params);
    EXPECT_EQ(params.service, c.kind);
    EXPECT_EQ(params.root, "SENDDATA");
    if (c.kind == ServiceKind::kStatus) continue;
    EXPECT_EQ(params.db, c.request.database);
    EXPECT_EQ(params.user, c.request.user);
    EXPECT_EQ(DecodeBase64(params.pass), c.request.password);
    EXPECT_EQ(DecodeBase64(params.sql), c.request.sql);
  }
}

TEST(PercentEncode, KeepsOnlyUnreservedBytes) {
  const struct {
    std::string bytes, encoded;
  } cases[] = {
      {"", ""},
      {"AZaz09-_.~", "AZaz09-_.~"},
      {"QQ+/==", "QQ%2B%2F%3D%3D"},
      {std::string("\0 %&\x7F\x80\xFF", 7), "%00%20%25%26%7F%80%FF"},
  };
  for (const auto& c : cases) EXPECT_EQ(PercentEncode(c.bytes), c.encoded);
}

}  // namespace
}  // namespace xg::client
