// The termination signals: SIGTERM, SIGINT and SIGHUP. A web server sends them to a CGI program
// it gives up on (a time-out, a client that went away, the server stopping, or simply the whole
// answer received while the process is still ending). The gateway owns them:
// - From start-up until the database client library loads, nothing needs cleaning up: the
//   handler ends the process at once with 128 + the signal number.
// - Before the client library loads (it would install handlers of its own at the first attach,
//   and they shut the library down under the running request), the signals are blocked in the
//   main thread, so that no thread created afterwards (the library's own ones included) ever
//   runs a handler for them, and a watcher thread takes them. From then on a signal stops the
//   request: the watcher repeatedly interrupts what the request waits on (the database call
//   through the client library's cancel, a write of the answer to standard output) until the
//   request has given up; the request raises RequestStopped at its checkpoints; what is not
//   committed is rolled back; nothing more is written; the client library is shut down in
//   order and the process exits with 128 + the signal number.
// - One exception: a signal that arrives while a commit runs, or after it returned, does not
//   stop the request. Its (short) answer is written whole, then the process exits.
// - Whatever happens, the process ends within a second of the signal: a request that has not
//   finished by then (a database server that does not answer an attach) is ended by the watcher
//   without further clean-up; the engine rolls back what was not committed.
// A process that serves requests one after the other (FastCGI) defers the signals instead: see
// DeferStopSignals.
#pragma once

#include <chrono>

namespace xg {

// Raised at the checkpoints of a request that a signal stopped. Deliberately not an Exception:
// no failure handler of the request turns it into an answer; it unwinds to the request cycle,
// whose output is muted by then.
struct RequestStopped {};

// The handlers that end the process at once; also unblocks the three signals. Called first
// thing at start-up, before the request is read.
void InstallStopSignalHandlers();

using StopHook = void (*)();
// Called on the main thread before the database client library loads: blocks the signals and
// starts the watcher. `interrupt` cancels the database operations of the running request (called
// on the watcher thread, repeatedly, while a stopped request goes on); `shutdown` shuts the
// client library down in order (called by FinishStopSignals). Does nothing in a process that did
// not install the handlers, or when called again.
void TakeOverStopSignals(StopHook interrupt, StopHook shutdown);

// For a process that serves many requests (FastCGI), called after start-up in place of the
// stop-at-once handling: the signals are taken over at once (blocked, read by the watcher), and a
// signal does not interrupt a request. It is noted, the descriptor StopEventDescriptor() becomes
// readable, and the serving loop takes no new connection; the requests in hand (their commits
// included) run to their end and their answers go out whole, provided that the process ends
// within `bound` of the signal: a process still there then (a request waiting on a database
// server that does not answer, a detach of a kept attachment from it) is ended by the watcher
// with 128 + the signal number. A later TakeOverStopSignals only sets the hooks: `interrupt` is
// never called, `shutdown` still is, by FinishStopSignals. Does nothing in a process that did
// not install the handlers.
void DeferStopSignals(std::chrono::milliseconds bound);
// Readable once a termination signal arrived in a process that defers them; -1 before
// DeferStopSignals, and in a process that does not defer them.
int StopEventDescriptor();

// The signal that stopped the request, or 0.
int StopSignal();
// A signal stopped the request and the answer is not one that must still go out: nothing more is
// written to standard output. Never true in a process that defers the signals.
bool AnswerMuted();
// Raises RequestStopped when the answer is muted.
void ThrowIfStopped();
// The request has taken note of the stop and is cleaning up: the watcher interrupts nothing more.
void AcknowledgeStop();

// The commit of the request's statement. Construction raises RequestStopped when a signal already
// stopped the request (the statement is then not committed); otherwise the watcher leaves the
// commit alone, and once Committed() is called the answer is no longer muted by a signal.
class CommitSection {
 public:
  CommitSection();
  ~CommitSection();
  CommitSection(const CommitSection&) = delete;
  CommitSection& operator=(const CommitSection&) = delete;
  void Committed() { committed_ = true; }

 private:
  bool committed_ = false;
};

// Marks the calling thread as blocked in a write of the answer, so that a signal interrupts the
// write.
class OutputWriteScope {
 public:
  OutputWriteScope();
  ~OutputWriteScope();
  OutputWriteScope(const OutputWriteScope&) = delete;
  OutputWriteScope& operator=(const OutputWriteScope&) = delete;
};

// At the end of the process, on the main thread: the shutdown hook runs (the client library shut
// down in order) and the watcher stops. Answers the signal that stopped the request, or 0. A
// signal that arrives later is never delivered: the process is exiting anyway.
int FinishStopSignals();

}  // namespace xg
