#include "host/fastcgi_connection.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>

#include "host/fastcgi_record.h"

namespace xg {
namespace {

using namespace fastcgi;

// Answer bytes gathered before a record is sent: large enough that a long answer takes few
// writes, small enough to stay in one record.
constexpr size_t kAnswerRecordBytes = 32768;
// Input read at a time, and the reads of one connection in one turn: the others are read in
// between, whatever one of them sends.
constexpr size_t kReadChunk = 65536;
constexpr int kReadsPerTurn = 4;

// The text up to its first byte 0, as an environment variable holds it.
std::string UpToNul(std::string_view text) {
  return std::string(text.substr(0, std::min(text.find('\0'), text.size())));
}

// What is left to the deadline, as poll takes it: never negative (which would wait without end),
// at most the largest int (the timeout may be longer).
int MillisecondsUntil(std::chrono::steady_clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
      deadline - std::chrono::steady_clock::now());
  return static_cast<int>(std::clamp<int64_t>(left.count(), 0, std::numeric_limits<int>::max()));
}

// A decimal number of digits only; one too long for 64 bits counts as the largest.
std::optional<uint64_t> DecimalNumber(const std::string& text) {
  if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos)
    return std::nullopt;
  if (text.size() > 19) return std::numeric_limits<uint64_t>::max();
  return std::stoull(text);
}

}  // namespace

FastCgiConnection::FastCgiConnection(int fd, const Limits& limits)
    : fd_(fd), limits_(limits), last_activity_(Clock::now()) {
  const int flags = ::fcntl(fd_, F_GETFL);
  if (flags >= 0) ::fcntl(fd_, F_SETFL, flags | O_NONBLOCK);
}

void FastCgiConnection::Close() {
  std::lock_guard<std::mutex> lock(input_mutex_);
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

FastCgiConnection::Clock::time_point FastCgiConnection::Deadline() const {
  switch (state_) {
    case State::kParams:
    case State::kBody:
      return request_deadline_;
    case State::kReady:
      return Clock::time_point::max();
    case State::kIdle:
    case State::kLingering:
      break;
  }
  return last_activity_ + limits_.timeout;
}

bool FastCgiConnection::CloseIfPastDeadline(Clock::time_point now) {
  if (fd_ < 0 || now < Deadline()) return false;
  Close();
  return true;
}

bool FastCgiConnection::ReadArrived() {
  if (state_ == State::kLingering) {
    DropLingeringInput();
    return false;
  }
  for (int reads = 0; reads < kReadsPerTurn && WantsInput(); ++reads) {
    const Input input = ReadSome();
    if (input == Input::kPending) break;
    if (input == Input::kEnded || !TakeRecords()) {
      failed_ = true;
      Close();
    }
  }
  return RequestReady();
}

FastCgiConnection::Input FastCgiConnection::ReadSome() {
  std::lock_guard<std::mutex> lock(input_mutex_);
  // The records already taken are dropped before more is read, so that the input holds at most
  // part of one record and one read whatever the peer sends.
  if (input_start_ > 0) {
    input_.erase(0, input_start_);
    input_start_ = 0;
  }
  const size_t had = input_.size();
  input_.resize(had + kReadChunk);
  ssize_t got;
  do {
    got = ::recv(fd_, &input_[had], kReadChunk, 0);
  } while (got < 0 && errno == EINTR);
  input_.resize(had + (got > 0 ? static_cast<size_t>(got) : 0));
  if (got > 0) return Input::kArrived;
  if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return Input::kPending;
  return Input::kEnded;
}

bool FastCgiConnection::TakeRecords() {
  std::lock_guard<std::mutex> lock(input_mutex_);
  while (fd_ >= 0 && (state_ != State::kReady && state_ != State::kLingering)) {
    const char* at = input_.data() + input_start_;
    const size_t waiting = input_.size() - input_start_;
    if (waiting < kHeaderSize) return true;
    const RecordHeader header = DecodeHeader(at);
    if (header.version != kVersion) return false;
    if (waiting < header.RecordSize()) return true;
    input_start_ += header.RecordSize();
    // The view stays valid: nothing changes the input while the record is taken.
    if (!TakeRecord(header.type, header.request_id,
                    std::string_view(at + kHeaderSize, header.content_length)))
      return false;
  }
  return true;
}

bool FastCgiConnection::TakeRecord(unsigned char type, int id, std::string_view content) {
  if (id == 0) return TakeManagementRecord(type, content);
  if (state_ == State::kIdle) {
    // Records of a request that is not (or no longer) being received are dropped.
    return type == kBeginRequest ? TakeBeginning(id, content) : true;
  }
  if (id != request_id_ || type == kBeginRequest) {
    // One request at a time on a connection: a second one is refused.
    return type == kBeginRequest ? SendEnd(id, kCantMultiplex) : true;
  }
  return TakeRequestRecord(type, content);
}

bool FastCgiConnection::TakeManagementRecord(unsigned char type, std::string_view content) {
  if (type != kGetValues) {
    char unknown[kEndBodySize] = {static_cast<char>(type)};
    return SendRecords(kUnknownType, 0, unknown, sizeof unknown);
  }
  // Only the names asked for are answered.
  const std::string most = std::to_string(kMaxPerProcess);
  std::string answer;
  const bool well_formed = ForEachPair(content, [&](std::string_view name, std::string_view) {
    if (name == "FCGI_MAX_CONNS" || name == "FCGI_MAX_REQS")
      AppendPair(answer, std::string(name), most);
    if (name == "FCGI_MPXS_CONNS") AppendPair(answer, std::string(name), "0");
  });
  return well_formed && SendRecords(kGetValuesResult, 0, answer.data(), answer.size());
}

bool FastCgiConnection::TakeBeginning(int id, std::string_view content) {
  if (content.size() < kBeginBodySize) return false;
  const int role =
      (static_cast<unsigned char>(content[0]) << 8) | static_cast<unsigned char>(content[1]);
  keep_connection_ = (static_cast<unsigned char>(content[2]) & kKeepConnection) != 0;
  if (role != kResponder) {
    if (!SendEnd(id, kUnknownRole)) return false;
    if (!keep_connection_) Linger();
    return true;
  }
  request_id_ = id;
  state_ = State::kParams;
  aborted_ = false;
  request_began_ = Clock::now();
  request_deadline_ = request_began_ + limits_.timeout;
  bytes_since_progress_ = 0;
  return true;
}

bool FastCgiConnection::TakeRequestRecord(unsigned char type, std::string_view content) {
  NoteProgress(kHeaderSize + content.size());
  if (type == kAbortRequest) {
    EndAborted();
    return !failed_;
  }
  if (type == kParams && state_ == State::kParams) {
    if (content.empty()) return TakeParams();
    if (params_stream_.size() + content.size() > kMaxParamBytes) return false;
    params_stream_.append(content);
  } else if (type == kStdin && state_ == State::kBody) {
    body_.append(content);
    if (content.empty() || BodyComplete()) BecomeReady();
  }
  // Anything else of the request (its body before its parameters are complete) is dropped.
  return true;
}

bool FastCgiConnection::TakeParams() {
  params_.clear();
  const bool well_formed =
      ForEachPair(params_stream_, [this](std::string_view name, std::string_view value) {
        params_.emplace(UpToNul(name), UpToNul(value));
      });
  std::string().swap(params_stream_);
  if (!well_formed) return false;
  state_ = State::kBody;
  if (BodyComplete()) BecomeReady();
  return true;
}

void FastCgiConnection::NoteProgress(size_t bytes) {
  bytes_since_progress_ += bytes;
  if (bytes_since_progress_ < kProgressBytes) return;
  bytes_since_progress_ = 0;
  last_activity_ = Clock::now();
  request_deadline_ = std::min(last_activity_ + limits_.timeout,
                               request_began_ + kMostTimeoutsPerRequest * limits_.timeout);
}

std::optional<uint64_t> FastCgiConnection::DeclaredBodyLength() const {
  const std::string* length = Param("CONTENT_LENGTH");
  return length ? DecimalNumber(*length) : std::nullopt;
}

bool FastCgiConnection::BodyComplete() const {
  // A body past max-request-bytes is refused, or read only as far as its declared length: the
  // rest is not kept.
  if (body_.size() > limits_.max_body_bytes) return true;
  const std::optional<uint64_t> declared = DeclaredBodyLength();
  return declared && (*declared > limits_.max_body_bytes || body_.size() >= *declared);
}

void FastCgiConnection::BecomeReady() {
  state_ = State::kReady;
  ready_since_ = Clock::now();
}

void FastCgiConnection::EndAborted() {
  aborted_ = true;
  SendEnding();
  AfterRequest();
}

void FastCgiConnection::AfterRequest() {
  request_id_ = 0;
  params_.clear();
  std::string().swap(params_stream_);
  std::string().swap(body_);
  body_start_ = 0;
  answer_.clear();
  last_activity_ = Clock::now();
  state_ = State::kIdle;
  if (!failed_ && !keep_connection_) Linger();
}

void FastCgiConnection::Linger() {
  ::shutdown(fd_, SHUT_WR);
  state_ = State::kLingering;
  lingered_bytes_ = 0;
  last_activity_ = Clock::now();
}

void FastCgiConnection::DropLingeringInput() {
  std::lock_guard<std::mutex> lock(input_mutex_);
  input_.clear();
  input_start_ = 0;
  char dropped[kReadChunk / 4];
  for (;;) {
    const ssize_t got = ::recv(fd_, dropped, sizeof dropped, 0);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;
    if (got > 0) lingered_bytes_ += static_cast<size_t>(got);
    if (got <= 0 || lingered_bytes_ > kMaxLingerBytes) break;
  }
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

const std::string* FastCgiConnection::Param(const std::string& name) const {
  const auto found = params_.find(name);
  return found == params_.end() ? nullptr : &found->second;
}

long FastCgiConnection::ReadBody(char* buffer, size_t count) {
  const size_t taken = std::min(count, body_.size() - body_start_);
  std::memcpy(buffer, body_.data() + body_start_, taken);
  body_start_ += taken;
  return static_cast<long>(taken);
}

bool FastCgiConnection::SendBytes(const char* data, size_t size) {
  const auto deadline = [this] { return Clock::now() + limits_.timeout; };
  auto give_up_at = deadline();
  while (size > 0) {
    if (fd_ < 0) return false;
    const ssize_t sent = ::send(fd_, data, size, MSG_NOSIGNAL);
    if (sent > 0) {
      data += sent;
      size -= static_cast<size_t>(sent);
      give_up_at = deadline();
      continue;
    }
    if (sent < 0 && errno == EINTR) continue;
    if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      const int wait = MillisecondsUntil(give_up_at);
      pollfd ready{fd_, POLLOUT, 0};
      if (wait > 0 && (::poll(&ready, 1, wait) >= 0 || errno == EINTR)) continue;
    }
    return false;
  }
  return true;
}

bool FastCgiConnection::SendRecords(unsigned char type, int id, const char* data, size_t size) {
  if (failed_) return false;
  std::string wire;
  do {
    const size_t piece = std::min(size, kMaxContent);
    char header[kHeaderSize];
    EncodeHeader(header, type, id, piece);
    wire.append(header, kHeaderSize);
    wire.append(data, piece);
    data += piece;
    size -= piece;
  } while (size > 0);
  if (!SendBytes(wire.data(), wire.size())) failed_ = true;
  return !failed_;
}

bool FastCgiConnection::SendEnd(int id, unsigned char protocol_status) {
  char end[kEndBodySize];
  EncodeEndBody(end, 0, static_cast<ProtocolStatus>(protocol_status));
  return SendRecords(kEndRequest, id, end, sizeof end);
}

void FastCgiConnection::SendEnding() {
  if (fd_ < 0 || failed_) return;
  // The stream's end (an empty record) and the request's end go out in one write.
  char ending[2 * kHeaderSize + kEndBodySize];
  EncodeHeader(ending, kStdout, request_id_, 0);
  EncodeHeader(ending + kHeaderSize, kEndRequest, request_id_, kEndBodySize);
  EncodeEndBody(ending + 2 * kHeaderSize, 0, kRequestComplete);
  if (!SendBytes(ending, sizeof ending)) failed_ = true;
}

bool FastCgiConnection::FlushAnswer() {
  // An aborted request's answer is not wanted: it is dropped, and the request's end still goes.
  // The web server's abort may wait unread behind the request's records.
  if (!aborted_ && !failed_ && ClientGone()) aborted_ = true;
  if (aborted_) answer_.clear();
  if (answer_.empty()) return !failed_;
  if (answer_state_) answer_state_->TakeOutputForAnswer();
  const bool sent = SendRecords(kStdout, request_id_, answer_.data(), answer_.size());
  answer_.clear();
  return sent;
}

bool FastCgiConnection::Write(const char* data, size_t size) {
  while (size > 0) {
    if (failed_ || aborted_) return false;
    const size_t piece = std::min(size, kAnswerRecordBytes - answer_.size());
    answer_.append(data, piece);
    data += piece;
    size -= piece;
    if (answer_.size() == kAnswerRecordBytes && !FlushAnswer()) return false;
  }
  return !failed_ && !aborted_;
}

void FastCgiConnection::EndRequest() {
  if (fd_ >= 0 && FlushAnswer()) SendEnding();
  AfterRequest();
  // What arrived behind the request (on a kept connection) is taken now: the socket may have
  // nothing more to show.
  if (failed_ || (state_ == State::kIdle && !TakeRecords())) {
    failed_ = true;
    Close();
  }
}

bool FastCgiConnection::ClientGone() {
  std::unique_lock<std::mutex> lock(input_mutex_, std::try_to_lock);
  // The serving thread is reading: it is not in a database call.
  if (!lock.owns_lock()) return false;
  if (fd_ < 0) return true;
  // What was read and not yet taken, then what waits on the socket, looked at without taking it.
  std::string waiting = input_.substr(input_start_);
  char peeked[4096];
  const ssize_t got = ::recv(fd_, peeked, sizeof peeked, MSG_PEEK | MSG_DONTWAIT);
  // The end of the input counts as gone: a peer that only half-closes (shutdown SHUT_WR) and still
  // waits for the answer would lose it, which lighttpd, nginx and Apache do not do.
  if (got == 0) return true;
  if (got < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) return true;
  if (got > 0) waiting.append(peeked, static_cast<size_t>(got));
  for (size_t at = 0; at + kHeaderSize <= waiting.size();) {
    const RecordHeader header = DecodeHeader(waiting.data() + at);
    if (header.type == kAbortRequest && header.request_id == request_id_) return true;
    at += header.RecordSize();
  }
  return false;
}

}  // namespace xg
