// One connection from a web server, spoken in FastCGI 1.0 records by a responder that serves one
// request at a time on it (it does not multiplex: FCGI_MPXS_CONNS is 0). The records are read and
// written here rather than by a FastCGI library so that every length is checked before memory is
// taken for it, every read has a deadline, and the connection can be watched for the client's
// going while a statement runs.
// What a peer sends is checked before anything is kept: a record has at most 65535 bytes by its
// format, the parameters of a request at most kMaxParamBytes in all, and every name and value
// length must lie within the parameters received. A connection that breaks a rule is closed;
// the process goes on with the next.
// Deadlines: until a request begins, only what has arrived is read, so that a connection that
// sends part of a record or nothing holds no one up; from its FCGI_BEGIN_REQUEST, the records of a
// request (its parameters and body) must arrive within the read timeout; a write of the answer
// that makes no progress for as long fails. A connection that misses either is closed.
#pragma once

#include <chrono>
#include <csignal>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <unordered_map>

#include "process/fatal_signals.h"

namespace xg {

class FastCgiConnection {
 public:
  static constexpr size_t kMaxParamBytes = size_t{1} << 20;

  // Takes the descriptor of an accepted connection (made non-blocking here; closed at the end).
  FastCgiConnection(int fd, std::chrono::milliseconds timeout);
  ~FastCgiConnection() { Close(); }
  FastCgiConnection(const FastCgiConnection&) = delete;
  FastCgiConnection& operator=(const FastCgiConnection&) = delete;

  // -1 once closed.
  int fd() const { return fd_; }
  // Since when it has served no request: its accept, or the end of its last request.
  std::chrono::steady_clock::time_point IdleSince() const { return idle_since_; }
  // Whether a whole record waits in the input already read (the socket may have nothing more).
  bool HasRecord();

  // Reads the beginning and the parameters of the next request, answering management records
  // (FCGI_GET_VALUES) and refusing other roles and a second request on the way. Answers false
  // when there is no request to serve: nothing more has arrived before a request began (the
  // connection stays open), the connection ended, broke the protocol or missed the deadline (it
  // is then closed), or the web server aborted the request before its parameters were complete
  // (ended; the connection stays open only if the web server keeps it).
  bool ReadRequest();

  int RequestId() const { return request_id_; }
  // The parameter's value (up to a byte 0, as an environment holds it); nullptr when absent.
  const std::string* Param(const std::string& name) const;

  // Up to `count` bytes of the request's body (FCGI_STDIN): the number read, 0 at its end,
  // negative when the connection failed, missed the deadline or the request was aborted.
  long ReadBody(char* buffer, size_t count);

  // The fault handler's state of the request, whose answer's stream is taken before the
  // answer's first bytes are sent; nullptr for none.
  void NoteAnswerStartIn(RequestFaultState* state) { answer_state_ = state; }

  // Adds to the answer (FCGI_STDOUT); full records are sent as they fill. False once the
  // connection has failed.
  bool Write(const char* data, size_t size);
  // Sends the rest of the answer, its end and the request's end (FCGI_END_REQUEST); closes the
  // connection unless the web server keeps it.
  void EndRequest();

  // Safe from another thread while the request is served, and reads nothing: whether the web
  // server has gone (the connection closed or failed) or aborted the request (its
  // FCGI_ABORT_REQUEST waits to be read).
  bool ClientGone();

  void Close();

 private:
  struct Record {
    unsigned char type = 0;
    int id = 0;
    std::string content;
  };

  enum class Input {
    kReady,    // there
    kPending,  // not yet arrived, and not waited for
    kEnded,    // the connection ended, failed or missed the deadline
  };

  // The next record, waiting for it until the deadline or not at all. At kEnded, and on a
  // malformed record, the connection is closed.
  Input ReadRecord(Record& record, bool wait);
  // The next record within the deadline; false when the connection was closed instead.
  bool ReadRecord(Record& record);
  // Fills the input to at least `size` unread bytes.
  Input Fill(size_t size, bool wait);
  // Drops the records of the request's body that have arrived, up to its end.
  void DropRestOfBody();
  // A record of the management kind, or one for a request other than the one being read.
  // False when the connection must close.
  bool HandleOtherRecord(const Record& record);
  bool ParseParams(const std::string& stream);
  bool SendRecords(unsigned char type, int id, const char* data, size_t size);
  bool SendBytes(const char* data, size_t size);
  bool FlushAnswer();
  void Fail();

  // The input: bytes read from the socket and not yet taken as records. Held by the serving
  // thread while it reads, and by ClientGone (which gives up at once when it is held).
  std::mutex input_mutex_;
  std::string input_;
  size_t input_start_ = 0;

  int fd_;
  std::chrono::milliseconds timeout_;
  std::chrono::steady_clock::time_point deadline_;
  std::chrono::steady_clock::time_point idle_since_;
  int request_id_ = 0;
  bool keep_connection_ = false;
  bool aborted_ = false;
  bool body_ended_ = false;
  bool failed_ = false;
  std::unordered_map<std::string, std::string> params_;
  // The body of the current FCGI_STDIN record not yet read by the request.
  std::string body_;
  size_t body_start_ = 0;
  // Answer bytes not yet sent.
  std::string answer_;
  RequestFaultState* answer_state_ = nullptr;
};

}  // namespace xg
