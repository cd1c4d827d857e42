#include "host/fastcgi_request.h"

#include <fcntl.h>

#include <cstdint>

#include "host/failure_page.h"
#include "host/fastcgi_connection.h"
#include "process/write_all.h"

namespace xg {
namespace {

// The FastCGI record layout: version, type, request id, content length (both big-endian), padding
// length, a reserved byte.
constexpr unsigned char kRecordVersion = 1;
constexpr unsigned char kEndRequestType = 3;
constexpr unsigned char kStdoutType = 6;
constexpr size_t kRecordHeaderSize = 8;
constexpr unsigned char kRequestComplete = 0;
// The application status an ended request reports for a fault: nonzero, like an exit code.
constexpr uint32_t kFaultAppStatus = 1;

void PutRecordHeader(unsigned char* out, unsigned char type, int request_id, size_t length) {
  out[0] = kRecordVersion;
  out[1] = type;
  out[2] = static_cast<unsigned char>((request_id >> 8) & 0xFF);
  out[3] = static_cast<unsigned char>(request_id & 0xFF);
  out[4] = static_cast<unsigned char>((length >> 8) & 0xFF);
  out[5] = static_cast<unsigned char>(length & 0xFF);
  out[6] = 0;
  out[7] = 0;
}

// One FCGI_STDOUT record carrying `data` (at most 65535 bytes, as the fault page always is).
void WriteStdoutRecord(int fd, int request_id, const char* data, size_t size) {
  unsigned char header[kRecordHeaderSize];
  PutRecordHeader(header, kStdoutType, request_id, size);
  WriteAll(fd, reinterpret_cast<const char*>(header), sizeof header);
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
  unsigned char end[kRecordHeaderSize + 8] = {};
  PutRecordHeader(end, kEndRequestType, state.output_id, 8);
  end[kRecordHeaderSize + 0] = static_cast<unsigned char>(kFaultAppStatus >> 24);
  end[kRecordHeaderSize + 1] = static_cast<unsigned char>((kFaultAppStatus >> 16) & 0xFF);
  end[kRecordHeaderSize + 2] = static_cast<unsigned char>((kFaultAppStatus >> 8) & 0xFF);
  end[kRecordHeaderSize + 3] = static_cast<unsigned char>(kFaultAppStatus & 0xFF);
  end[kRecordHeaderSize + 4] = kRequestComplete;
  WriteAll(state.output_fd, reinterpret_cast<const char*>(end), sizeof end);
}

}  // namespace xg
