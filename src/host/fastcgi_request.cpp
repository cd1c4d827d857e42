#include "host/fastcgi_request.h"

#include <fcntl.h>

#include <cstdint>

#include "host/failure_page.h"
#include "host/fastcgi_connection.h"
#include "host/fastcgi_record.h"
#include "process/write_all.h"

namespace xg {
namespace {

// The application status an ended request reports for a fault: nonzero, like an exit code.
constexpr uint32_t kFaultAppStatus = 1;

// One FCGI_STDOUT record carrying `data` (at most 65535 bytes, as the fault page always is).
void WriteStdoutRecord(int fd, int request_id, const char* data, size_t size) {
  char header[fastcgi::kHeaderSize];
  fastcgi::EncodeHeader(header, fastcgi::kStdout, request_id, size);
  WriteAll(fd, header, sizeof header);
  if (size > 0) WriteAll(fd, data, size);
}

}  // namespace

FastCgiRequest::FastCgiRequest(FastCgiConnection& connection)
    : Request(connection.fd()), connection_(connection) {
  fault_state().own_reporter = &WriteFastCgiFailurePageForFault;
  fault_state().output_id = connection.RequestId();
  connection.NoteAnswerStartIn(&fault_state());
}

FastCgiRequest::~FastCgiRequest() {
  connection_.NoteAnswerStartIn(nullptr);
}

std::string FastCgiRequest::Variable(const std::string& name) const {
  const std::string* value = connection_.Param(name);
  return value ? *value : std::string();
}

long FastCgiRequest::Read(char* buffer, size_t count) {
  return connection_.ReadBody(buffer, count);
}

bool FastCgiRequest::ClientGone() {
  return connection_.ClientGone();
}

bool FastCgiRequest::WriteBytes(const char* data, size_t size) {
  return connection_.Write(data, size);
}

void WriteFastCgiFailurePageForFault(const RequestFaultState& state, std::string_view class_name,
                                     std::string_view message) {
  // The connection's descriptor is non-blocking: a web server that has not yet read what the
  // buffer holds would cut the page at the first full buffer.
  const int flags = ::fcntl(state.output_fd, F_GETFL);
  if (flags >= 0) ::fcntl(state.output_fd, F_SETFL, flags & ~O_NONBLOCK);
  FaultPageText text;
  FormatFaultPage(text, class_name, message);
  WriteStdoutRecord(state.output_fd, state.output_id, text.header, text.header_length);
  WriteStdoutRecord(state.output_fd, state.output_id, text.page, text.page_length);
  // The empty record ends the stream.
  WriteStdoutRecord(state.output_fd, state.output_id, nullptr, 0);
  char end[fastcgi::kHeaderSize + fastcgi::kEndBodySize];
  fastcgi::EncodeHeader(end, fastcgi::kEndRequest, state.output_id, fastcgi::kEndBodySize);
  fastcgi::EncodeEndBody(end + fastcgi::kHeaderSize, kFaultAppStatus, fastcgi::kRequestComplete);
  WriteAll(state.output_fd, end, sizeof end);
}

}  // namespace xg
