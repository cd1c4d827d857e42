#include "host/host.h"

#include <string>

#include "db/call_watch.h"
#include "gateway/gateway_action.h"
#include "host/cgi_response.h"
#include "host/failure_page.h"
#include "host/web_messages.h"
#include "process/failure.h"
#include "process/fatal_signals.h"
#include "protocol/base64.h"
#include "texts/format.h"
#include "texts/markup_escape.h"

namespace xg {
namespace {

// While a request is served its fault state is the one the fault handler sees.
class PublishedFaultState {
 public:
  explicit PublishedFaultState(RequestFaultState& state) { PublishRequestFaultState(&state); }
  ~PublishedFaultState() { PublishRequestFaultState(nullptr); }
  PublishedFaultState(const PublishedFaultState&) = delete;
  PublishedFaultState& operator=(const PublishedFaultState&) = delete;
};

// The server failure page in the summary, with the failure's message. Memory that runs out here
// leaves the summary as it was: the page must still be written.
void NoteFailurePage(const std::exception_ptr& failure, RequestSummary& summary) noexcept {
  try {
    const Exception* exception = AsException(failure);
    summary.failure_document = std::string(kFailurePageOutcome);
    summary.message = exception ? exception->Message() : FailureClassName(failure);
  } catch (...) {
  }
}

void NoteServed(const RequestSummary& summary, std::chrono::steady_clock::time_point started,
                ServedRequest& served) noexcept {
  try {
    served.service = summary.service;
    served.outcome = summary.failure_document.empty() ? "ok" : summary.failure_document;
    served.attachment_reused = summary.result.attachment_reused;
    served.duration = std::chrono::duration_cast<std::chrono::microseconds>(
        std::chrono::steady_clock::now() - started);
  } catch (...) {
    // Memory ran out for the texts: the request counts as one that named no service.
  }
}

}  // namespace

Spool GatewayAction(CgiRequest& request, const GatewayContext& context,
                    const RegionalSettings& settings, RequestSummary& summary) {
  return GatewayAnswer([&request] { return request.ReadFormBody(); }, request.UserAgent(), context,
                       settings, summary);
}

void Host::Serve(Request& request, ServedRequest* served) const {
  const PublishedFaultState published(request.fault_state());
  // The watches of the request's database calls ask the request whether its client has gone.
  const ClientGoneCheckScope client_check([&request] { return request.ClientGone(); });
  const auto started = std::chrono::steady_clock::now();
  RequestLogFields fields;
  fields.time = std::chrono::system_clock::now();
  // The line is written before the answer goes out: a web server may end a CGI process as soon
  // as it has the whole answer.
  bool logged = false;
  try {
    // A configuration that could not be used is raised here, before the request is read.
    const GatewayConfig& config = config_.Settings();
    CgiRequest cgi_request(request, config.max_request_bytes);
    CgiResponse response(cgi_request);
    try {
      const GatewayContext context{config, pool_.get()};
      response.SetContent(action_(cgi_request, context, settings_, fields.summary));
    } catch (...) {
      const Exception* failure = AsException(std::current_exception());
      if (!failure) throw;
      NoteFailurePage(std::current_exception(), fields.summary);
      // The message and the path as page text.
      response.SetContent(Format(LoadResString(SInternalApplicationError),
                                 {EscapeMarkup(failure->Message(), QuoteEscaping::kEscape),
                                  EscapeMarkup(cgi_request.PathInfo(), QuoteEscaping::kEscape)}));
      response.SetStatus(HttpStatus::kInternalServerError);
    }
    fields.answer_bytes = static_cast<int64_t>(response.ContentSize());
    LogRequest(request, fields, started);
    logged = true;
    response.Send();
  } catch (...) {
    // A refused request (the configuration, max-request-bytes) or a failure of the host itself.
    if (!logged) {
      NoteFailurePage(std::current_exception(), fields.summary);
      fields.answer_bytes = static_cast<int64_t>(FailurePageLength(std::current_exception()));
      LogRequest(request, fields, started);
    }
    WriteFailurePage(std::current_exception(), request);
  }
  if (served != nullptr) NoteServed(fields.summary, started, *served);
}

void Host::LogRequest(const Request& request, RequestLogFields& fields,
                      std::chrono::steady_clock::time_point started) const {
  if (!log_.Enabled()) return;
  try {
    fields.total_microseconds = std::chrono::duration_cast<std::chrono::microseconds>(
                                    std::chrono::steady_clock::now() - started)
                                    .count();
    fields.client = request.Variable("REMOTE_ADDR");
    fields.mode = mode_;
    std::string sql;
    if (log_.WantsSql() && !fields.summary.sql_base64.empty()) {
      try {
        sql = DecodeBase64(fields.summary.sql_base64);
      } catch (const Exception&) {
        // Not base64: the answer already said so; the line goes without the statement.
      }
    }
    log_.Write(fields, &sql);
  } catch (...) {
    // Memory ran out for the line: the request goes unlogged.
  }
}

}  // namespace xg
