#include "host/fastcgi_connection.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>

namespace xg {
namespace {

// The record layout: version, type, request id and content length (both big-endian), padding
// length, a reserved byte; then the content and the padding.
constexpr size_t kHeaderSize = 8;
constexpr unsigned char kVersion = 1;
constexpr size_t kMaxContent = 65535;

constexpr unsigned char kBeginRequest = 1;
constexpr unsigned char kAbortRequest = 2;
constexpr unsigned char kEndRequest = 3;
constexpr unsigned char kParams = 4;
constexpr unsigned char kStdin = 5;
constexpr unsigned char kStdout = 6;
constexpr unsigned char kGetValues = 9;
constexpr unsigned char kGetValuesResult = 10;
constexpr unsigned char kUnknownType = 11;

constexpr int kResponder = 1;
constexpr unsigned char kKeepConnection = 1;
constexpr unsigned char kRequestComplete = 0;
constexpr unsigned char kCantMultiplex = 1;
constexpr unsigned char kUnknownRole = 3;

// Answer bytes gathered before a record is sent: large enough that a long answer takes few
// writes, small enough to stay in one record.
constexpr size_t kAnswerRecordBytes = 32768;
// Input read at a time.
constexpr size_t kReadChunk = 65536;

void PutHeader(char* out, unsigned char type, int id, size_t length) {
  out[0] = static_cast<char>(kVersion);
  out[1] = static_cast<char>(type);
  out[2] = static_cast<char>((id >> 8) & 0xFF);
  out[3] = static_cast<char>(id & 0xFF);
  out[4] = static_cast<char>((length >> 8) & 0xFF);
  out[5] = static_cast<char>(length & 0xFF);
  out[6] = 0;
  out[7] = 0;
}

unsigned Byte(const char* at) {
  return static_cast<unsigned char>(*at);
}

// A name or value length of the parameter stream: one byte below 128, else four bytes with the
// top bit set. False when the stream ends first.
bool TakeLength(const char*& at, const char* end, size_t& length) {
  if (at >= end) return false;
  if ((Byte(at) & 0x80) == 0) {
    length = Byte(at);
    ++at;
    return true;
  }
  if (end - at < 4) return false;
  length = ((Byte(at) & 0x7F) << 24) | (Byte(at + 1) << 16) | (Byte(at + 2) << 8) | Byte(at + 3);
  at += 4;
  return true;
}

// The text up to its first byte 0, as an environment variable holds it.
std::string UpToNul(const char* data, size_t size) {
  const void* nul = std::memchr(data, '\0', size);
  return std::string(data, nul ? static_cast<const char*>(nul) - data : size);
}

void AppendPair(std::string& out, const std::string& name, const std::string& value) {
  // Both short: the names and values this responder reports.
  out.push_back(static_cast<char>(name.size()));
  out.push_back(static_cast<char>(value.size()));
  out += name;
  out += value;
}

// What is left to the deadline, as poll takes it: never negative (which would wait without end),
// at most the largest int (the timeout may be longer).
int MillisecondsUntil(std::chrono::steady_clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
      deadline - std::chrono::steady_clock::now());
  return static_cast<int>(std::clamp<int64_t>(left.count(), 0, std::numeric_limits<int>::max()));
}

}  // namespace

FastCgiConnection::FastCgiConnection(int fd, std::chrono::milliseconds timeout)
    : fd_(fd), timeout_(timeout), idle_since_(std::chrono::steady_clock::now()) {
  const int flags = ::fcntl(fd_, F_GETFL);
  if (flags >= 0) ::fcntl(fd_, F_SETFL, flags | O_NONBLOCK);
}

void FastCgiConnection::Close() {
  std::lock_guard<std::mutex> lock(input_mutex_);
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

void FastCgiConnection::Fail() {
  failed_ = true;
}

FastCgiConnection::Input FastCgiConnection::Fill(size_t size, bool wait) {
  while (input_.size() - input_start_ < size) {
    if (fd_ < 0) return Input::kEnded;
    // The records already taken are dropped before more is read, so that the input holds at most
    // one record and one read whatever the peer sends.
    if (input_start_ > 0) {
      input_.erase(0, input_start_);
      input_start_ = 0;
    }
    const size_t had = input_.size();
    input_.resize(had + kReadChunk);
    const ssize_t got = ::recv(fd_, &input_[had], kReadChunk, 0);
    input_.resize(had + (got > 0 ? static_cast<size_t>(got) : 0));
    if (got > 0) continue;
    if (got == 0) return Input::kEnded;
    if (errno == EINTR) continue;
    if (errno != EAGAIN && errno != EWOULDBLOCK) return Input::kEnded;
    if (!wait) return Input::kPending;
    const int left = MillisecondsUntil(deadline_);
    if (left == 0) return Input::kEnded;
    pollfd ready{fd_, POLLIN, 0};
    if (::poll(&ready, 1, left) < 0 && errno != EINTR) return Input::kEnded;
  }
  return Input::kReady;
}

FastCgiConnection::Input FastCgiConnection::ReadRecord(Record& record, bool wait) {
  Input input;
  {
    std::lock_guard<std::mutex> lock(input_mutex_);
    input = Fill(kHeaderSize, wait);
    if (input == Input::kReady) {
      const char* header = input_.data() + input_start_;
      const size_t length = (Byte(header + 4) << 8) | Byte(header + 5);
      const size_t padding = Byte(header + 6);
      input = Byte(header) != kVersion ? Input::kEnded : Fill(kHeaderSize + length + padding, wait);
      if (input == Input::kReady) {
        header = input_.data() + input_start_;
        record.type = static_cast<unsigned char>(header[1]);
        record.id = static_cast<int>((Byte(header + 2) << 8) | Byte(header + 3));
        record.content.assign(header + kHeaderSize, length);
        input_start_ += kHeaderSize + length + padding;
      }
    }
  }
  if (input == Input::kEnded) {
    Fail();
    Close();
  }
  return input;
}

bool FastCgiConnection::ReadRecord(Record& record) {
  return ReadRecord(record, true) == Input::kReady;
}

bool FastCgiConnection::HandleOtherRecord(const Record& record) {
  if (record.id == 0) {
    if (record.type == kGetValues) {
      // Only the names asked for are answered.
      std::string answer;
      const char* at = record.content.data();
      const char* end = at + record.content.size();
      while (at < end) {
        size_t name_length, value_length;
        if (!TakeLength(at, end, name_length) || !TakeLength(at, end, value_length) ||
            name_length > static_cast<size_t>(end - at) ||
            value_length > static_cast<size_t>(end - at) - name_length)
          return false;
        const std::string name(at, name_length);
        at += name_length + value_length;
        if (name == "FCGI_MAX_CONNS" || name == "FCGI_MAX_REQS") AppendPair(answer, name, "1");
        if (name == "FCGI_MPXS_CONNS") AppendPair(answer, name, "0");
      }
      return SendRecords(kGetValuesResult, 0, answer.data(), answer.size());
    }
    char unknown[8] = {static_cast<char>(record.type)};
    return SendRecords(kUnknownType, 0, unknown, sizeof unknown);
  }
  if (record.type == kBeginRequest) {
    // One request at a time on a connection: a second one is refused.
    char end[8] = {0, 0, 0, 0, static_cast<char>(kCantMultiplex)};
    return SendRecords(kEndRequest, record.id, end, sizeof end);
  }
  // Records of a request that is not (or no longer) being served are dropped.
  return true;
}

bool FastCgiConnection::ParseParams(const std::string& stream) {
  params_.clear();
  const char* at = stream.data();
  const char* end = at + stream.size();
  while (at < end) {
    size_t name_length, value_length;
    if (!TakeLength(at, end, name_length) || !TakeLength(at, end, value_length)) return false;
    // Each length is checked against the bytes that are there before anything is taken.
    if (name_length > static_cast<size_t>(end - at) ||
        value_length > static_cast<size_t>(end - at) - name_length)
      return false;
    params_.emplace(UpToNul(at, name_length), UpToNul(at + name_length, value_length));
    at += name_length + value_length;
  }
  return true;
}

bool FastCgiConnection::ReadRequest() {
  request_id_ = 0;
  aborted_ = false;
  body_ended_ = false;
  failed_ = false;
  body_.clear();
  body_start_ = 0;
  answer_.clear();
  std::string params;
  Record record;
  size_t read_before_beginning = 0;
  for (;;) {
    // Until a request begins, only what has arrived is read, and no more than one read's worth at
    // a time: a connection that has sent part of a record, or records that begin no request (as
    // fast as it likes), goes back to waiting with the others and holds no one up. From its
    // beginning, the request's records must arrive within the timeout.
    if (request_id_ == 0 && read_before_beginning >= kReadChunk) return false;
    // kPending leaves the connection open; at kEnded it has been closed.
    if (ReadRecord(record, request_id_ != 0) != Input::kReady) return false;
    if (request_id_ == 0) read_before_beginning += kHeaderSize + record.content.size();
    const bool ours = request_id_ != 0 && record.id == request_id_;
    if (record.type == kBeginRequest && request_id_ == 0 && record.id != 0) {
      if (record.content.size() < 8) break;
      const int role = static_cast<int>((Byte(&record.content[0]) << 8) | Byte(&record.content[1]));
      keep_connection_ = (Byte(&record.content[2]) & kKeepConnection) != 0;
      if (role != kResponder) {
        char end[8] = {0, 0, 0, 0, static_cast<char>(kUnknownRole)};
        if (!SendRecords(kEndRequest, record.id, end, sizeof end)) return false;
        if (!keep_connection_) break;
        continue;
      }
      request_id_ = record.id;
      deadline_ = std::chrono::steady_clock::now() + timeout_;
    } else if (ours && record.type == kParams) {
      if (record.content.empty()) {
        if (!ParseParams(params)) break;
        return true;
      }
      if (params.size() + record.content.size() > kMaxParamBytes) break;
      params += record.content;
    } else if (ours && record.type == kAbortRequest) {
      aborted_ = true;
      EndRequest();
      return false;
    } else if (!HandleOtherRecord(record)) {
      break;
    }
  }
  Fail();
  Close();
  return false;
}

const std::string* FastCgiConnection::Param(const std::string& name) const {
  const auto found = params_.find(name);
  return found == params_.end() ? nullptr : &found->second;
}

long FastCgiConnection::ReadBody(char* buffer, size_t count) {
  while (body_start_ == body_.size()) {
    if (failed_ || aborted_) return -1;
    if (body_ended_) return 0;
    Record record;
    if (!ReadRecord(record)) return -1;
    if (record.id == request_id_ && record.type == kStdin) {
      if (record.content.empty()) body_ended_ = true;
      body_ = std::move(record.content);
      body_start_ = 0;
    } else if (record.id == request_id_ && record.type == kAbortRequest) {
      aborted_ = true;
    } else if (!HandleOtherRecord(record)) {
      Fail();
      Close();
    }
  }
  const size_t taken = std::min(count, body_.size() - body_start_);
  std::memcpy(buffer, body_.data() + body_start_, taken);
  body_start_ += taken;
  return static_cast<long>(taken);
}

bool FastCgiConnection::SendBytes(const char* data, size_t size) {
  const auto deadline = [this] { return std::chrono::steady_clock::now() + timeout_; };
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
    PutHeader(header, type, id, piece);
    wire.append(header, kHeaderSize);
    wire.append(data, piece);
    data += piece;
    size -= piece;
  } while (size > 0);
  if (!SendBytes(wire.data(), wire.size())) {
    Fail();
    return false;
  }
  return true;
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
  if (fd_ >= 0 && FlushAnswer()) {
    // The stream's end (an empty record) and the request's end go out in one write.
    char ending[2 * kHeaderSize + 8] = {};
    PutHeader(ending, kStdout, request_id_, 0);
    PutHeader(ending + kHeaderSize, kEndRequest, request_id_, 8);
    ending[2 * kHeaderSize + 4] = static_cast<char>(kRequestComplete);
    if (!SendBytes(ending, sizeof ending)) Fail();
  }
  if (!failed_ && keep_connection_) DropRestOfBody();
  request_id_ = 0;
  idle_since_ = std::chrono::steady_clock::now();
  params_.clear();
  body_.clear();
  answer_.clear();
  if (failed_ || !keep_connection_) Close();
}

void FastCgiConnection::DropRestOfBody() {
  // A request may be answered before its body has been read to its end (the empty FCGI_STDIN
  // record): what has arrived of it is dropped now, without waiting for the rest.
  while (!body_ended_ && !aborted_ && fd_ >= 0) {
    {
      std::lock_guard<std::mutex> lock(input_mutex_);
      if (Fill(kHeaderSize, false) != Input::kReady) return;
      const char* header = input_.data() + input_start_;
      if (static_cast<int>((Byte(header + 2) << 8) | Byte(header + 3)) != request_id_) return;
    }
    Record record;
    if (ReadRecord(record, false) != Input::kReady) return;
    if (record.type == kStdin && record.content.empty()) body_ended_ = true;
  }
}

bool FastCgiConnection::HasRecord() {
  std::lock_guard<std::mutex> lock(input_mutex_);
  if (input_.size() - input_start_ < kHeaderSize) return false;
  const char* header = input_.data() + input_start_;
  const size_t length = (Byte(header + 4) << 8) | Byte(header + 5);
  return input_.size() - input_start_ >= kHeaderSize + length + Byte(header + 6);
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
  size_t at = 0;
  while (at + kHeaderSize <= waiting.size()) {
    const char* header = waiting.data() + at;
    const int id = static_cast<int>((Byte(header + 2) << 8) | Byte(header + 3));
    if (Byte(header + 1) == kAbortRequest && id == request_id_) return true;
    at += kHeaderSize + ((Byte(header + 4) << 8) | Byte(header + 5)) + Byte(header + 6);
  }
  return false;
}

}  // namespace xg
