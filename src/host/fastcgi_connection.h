// One connection from a web server, spoken in FastCGI 1.0 records by a responder that serves one
// request at a time on it (it does not multiplex: FCGI_MPXS_CONNS is 0). The records are read and
// written here rather than by a FastCGI library so that every length is checked before memory is
// taken for it, no read ever waits, and the connection can be watched for the client's going
// while a statement runs.
// Input is buffered and read only as it arrives: the process reads each connection when it has
// input and takes its records; a request is served only once its parameters and its body have
// all arrived. Until then a connection costs a descriptor and its buffers, and a silent or slow
// one holds no other up.
// What a peer sends is checked before anything is kept: a record has at most 65535 bytes by its
// format, the parameters of a request at most kMaxParamBytes in all, its body at most the
// configured max-request-bytes (and one record), and every name and value length must lie within
// the parameters received. A connection that breaks a rule is closed; the process goes on.
// Deadlines (`timeout`: read-timeout-seconds): a connection that begins no request within the
// timeout of its accept or of its last request's end is closed. From FCGI_BEGIN_REQUEST, the
// request's records must keep coming: the deadline is the timeout after the beginning, and moves
// to the timeout after each further kProgressBytes of the request that arrive, but never past
// kMostTimeoutsPerRequest timeouts after the beginning; a request whose records have not all
// arrived by then is dropped with its connection. A write of the answer that makes no progress
// for the timeout fails.
// A connection that ends after an answer shuts its side first and drops what still arrives
// (kMaxLingerBytes, for at most the timeout) until the peer closes: a close with unread input
// would send a reset, which may destroy the answer before the peer has read it.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

#include "process/fatal_signals.h"

namespace xg {

class FastCgiConnection {
 public:
  using Clock = std::chrono::steady_clock;

  // The connections one process holds at most, each carrying one request at a time: what
  // FCGI_GET_VALUES answers for FCGI_MAX_CONNS and FCGI_MAX_REQS.
  static constexpr size_t kMaxPerProcess = 256;
  static constexpr size_t kMaxParamBytes = size_t{1} << 20;
  // The request's bytes that count as progress and move its deadline.
  static constexpr size_t kProgressBytes = 4096;
  // However steady its progress, a request has all arrived within this many timeouts.
  static constexpr int kMostTimeoutsPerRequest = 10;
  // What a closing connection drops of its input at most before it closes anyway.
  static constexpr size_t kMaxLingerBytes = size_t{1} << 20;

  struct Limits {
    std::chrono::milliseconds timeout{std::chrono::seconds(30)};
    // max-request-bytes: the body kept at most (and one record).
    uint64_t max_body_bytes = uint64_t{16} << 20;
  };

  // Takes the descriptor of an accepted connection (made non-blocking here; closed at the end).
  FastCgiConnection(int fd, const Limits& limits);
  ~FastCgiConnection() { Close(); }
  FastCgiConnection(const FastCgiConnection&) = delete;
  FastCgiConnection& operator=(const FastCgiConnection&) = delete;

  // -1 once closed.
  int fd() const { return fd_; }
  // Whether the connection is read when it has input: not while its request waits to be served
  // or is served.
  bool WantsInput() const { return fd_ >= 0 && state_ != State::kReady; }
  // Whether a request has all arrived and waits to be served (or is served).
  bool RequestReady() const { return state_ == State::kReady; }
  // Whether part of a request has arrived, and not all of it.
  bool ReceivingRequest() const { return state_ == State::kParams || state_ == State::kBody; }
  // Whether it only waits for its peer to close after its last answer.
  bool Closing() const { return state_ == State::kLingering; }
  // Since when it is ready; the order in which ready requests are served.
  Clock::time_point ReadySince() const { return ready_since_; }
  // The last time something happened on it: its accept, the end of its last request, the last
  // progress of the request that arrives.
  Clock::time_point LastActivity() const { return last_activity_; }
  // When it is closed unless something arrives; Clock::time_point::max() while its request
  // waits to be served.
  Clock::time_point Deadline() const;

  // Reads what has arrived, without waiting and a bounded amount at a time, and takes its
  // records: answers management records (FCGI_GET_VALUES), refuses other roles and a second
  // request, drops what belongs to no request. Answers whether a request is now ready to be
  // served. A connection that ended, broke the protocol or passed its limits is closed.
  bool ReadArrived();
  // Closes the connection when `now` is past its deadline; answers whether it did.
  bool CloseIfPastDeadline(Clock::time_point now);

  int RequestId() const { return request_id_; }
  // The parameter's value (up to a byte 0, as an environment holds it); nullptr when absent.
  const std::string* Param(const std::string& name) const;

  // Up to `count` bytes of the request's body (its FCGI_STDIN stream, all arrived): the number
  // read, 0 at its end.
  long ReadBody(char* buffer, size_t count);

  // The fault handler's state of the request, whose answer's stream is taken before the
  // answer's first bytes are sent; nullptr for none.
  void NoteAnswerStartIn(RequestFaultState* state) { answer_state_ = state; }

  // Adds to the answer (FCGI_STDOUT); full records are sent as they fill. False once the
  // connection has failed or the request was aborted.
  bool Write(const char* data, size_t size);
  // The connection closes after the request's end, even when the web server keeps it.
  void CloseAfterRequest() { keep_connection_ = false; }
  // Sends the rest of the answer, its end and the request's end (FCGI_END_REQUEST); the
  // connection then closes unless the web server keeps it, in which case the records that
  // arrived behind the request are taken (another request may be ready then).
  void EndRequest();

  // Safe from another thread while the request is served, and reads nothing: whether the web
  // server has gone (the connection closed or failed) or aborted the request (its
  // FCGI_ABORT_REQUEST waits to be read).
  bool ClientGone();

  void Close();

 private:
  enum class State {
    kIdle,       // no request begun
    kParams,     // begun, its parameters arriving
    kBody,       // its parameters complete, its body arriving
    kReady,      // all arrived: waits to be served, or is served
    kLingering,  // answered; its side shut, waiting for the peer's close
  };

  enum class Input {
    kArrived,  // bytes were read
    kPending,  // nothing more has arrived
    kEnded,    // the connection ended or failed
  };

  // One read of what has arrived into the input.
  Input ReadSome();
  // Takes the whole records in the input, up to a ready request. False when the connection must
  // close at once.
  bool TakeRecords();
  bool TakeRecord(unsigned char type, int id, std::string_view content);
  bool TakeManagementRecord(unsigned char type, std::string_view content);
  bool TakeBeginning(int id, std::string_view content);
  bool TakeRequestRecord(unsigned char type, std::string_view content);
  // The parameters complete: parsed, and the body awaited unless it is not needed.
  bool TakeParams();
  void NoteProgress(size_t bytes);
  // Whether the body that arrived is all the request will read: as long as the parameters'
  // CONTENT_LENGTH says, or past max-request-bytes.
  bool BodyComplete() const;
  std::optional<uint64_t> DeclaredBodyLength() const;
  void BecomeReady();
  // The request aborted before it was served: ended without an answer.
  void EndAborted();
  // Back to no request after one ended; lingers unless the connection is kept or failed (the
  // caller closes a failed one).
  void AfterRequest();
  void Linger();
  void DropLingeringInput();

  bool SendRecords(unsigned char type, int id, const char* data, size_t size);
  bool SendEnd(int id, unsigned char protocol_status);
  // The end of the answer's stream and the request's end, in one write.
  void SendEnding();
  bool SendBytes(const char* data, size_t size);
  bool FlushAnswer();

  // The input: bytes read from the socket and not yet taken as records. Held by the serving
  // thread while it changes it, and by ClientGone (which gives up at once when it is held).
  std::mutex input_mutex_;
  std::string input_;
  size_t input_start_ = 0;

  int fd_;
  Limits limits_;
  State state_ = State::kIdle;
  Clock::time_point last_activity_;
  Clock::time_point ready_since_;
  Clock::time_point request_began_;
  Clock::time_point request_deadline_;
  size_t bytes_since_progress_ = 0;
  size_t lingered_bytes_ = 0;
  int request_id_ = 0;
  bool keep_connection_ = false;
  bool aborted_ = false;
  bool failed_ = false;
  std::string params_stream_;
  std::unordered_map<std::string, std::string> params_;
  std::string body_;
  size_t body_start_ = 0;
  // Answer bytes not yet sent.
  std::string answer_;
  RequestFaultState* answer_state_ = nullptr;
};

}  // namespace xg
