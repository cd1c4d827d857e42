// The gateway's one action: the answer document to a request. The form field SENDDATA holds the
// request as base64 text; its decoded document must have the root element SENDDATA, and its
// SERVICE element names the service that answers: SERVICESTATUS the status document,
// SERVICEERROR the ERROR document "Erro desconhecido", SERVICEOPENSQL and SERVICEEXECSQL the SQL
// services (sql_services.h). A request that does not get that far answers an ERROR document.
#pragma once

#include <functional>
#include <string>

#include "gateway/gateway_context.h"
#include "gateway/request_summary.h"
#include "process/spool.h"
#include "values/regional_settings.h"

namespace xg {

// The answer to the request whose URL-encoded form body `read_form_body` gives; the body is read
// inside the action, so that a failure while it arrives is answered like every other one. The
// status document names `user_agent`; the SQL services run with the process's `context`; values
// are written with `settings`. Every Exception on the
// way (running out of memory included) becomes an ERROR document with the failure's message, two
// CR bytes and the decoded request text. Any other raised object leaves the call, and so does an
// Exception raised while that ERROR document is built.
Spool GatewayAnswer(const std::function<std::string()>& read_form_body,
                    const std::string& user_agent, const GatewayContext& context,
                    const RegionalSettings& settings, RequestSummary& summary);

}  // namespace xg
