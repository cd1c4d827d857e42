// Processor faults. A fault (SIGSEGV, SIGBUS, SIGFPE, SIGILL) cannot be turned back into a
// normal answer safely, so the handler reports it and ends the process at once:
// - while a request is served (its fault state is published) and no byte of its answer has
//   gone out, the reporter writes the fault's class and message (the server failure page) to
//   the request's output; once bytes went out nothing more is written. The process ends with the
//   fault's run-time error number (216 access violation, 200 division by zero, 202 stack overflow,
//   ...; an external exception, whose number is 0, ends with 217, the number of an unhandled
//   exception, since 0 would read as a served request).
// - during start-up or shutdown (no request published) the fault is an unhandled exception: its
// text goes
//   to standard error and the process ends with exit code 1;
// - before the run-time error texts are prepared, "Runtime error <n> at <address>" goes to
//   standard output and the process ends with the number.
// The handlers run on their own stack, so that a stack overflow is reported too. Everything
// they call is async-signal-safe: no memory is allocated, texts are formatted into fixed
// buffers.
#pragma once

#include <atomic>
#include <csignal>
#include <cstdint>
#include <string_view>

#include "texts/exceptions.h"

namespace xg {

// Installs the handlers on an alternate signal stack and notes the main thread's stack area.
void InstallFaultHandlers();

// Writes the answer for a fault during a request to the request's output descriptor. It runs
// inside the signal handler, so it must be async-signal-safe.
using FaultReporter = void (*)(int fd, std::string_view class_name, std::string_view message);
// Sets the reporter, once at start-up.
void SetFaultReporter(FaultReporter reporter);

// What the fault handler needs of the request being served: where its answer goes (-1: nowhere
// the handler can write, as for a request held in memory) and who writes on it. Each request
// owns one.
//
// The answer's stream has one writer, taken once and never handed over: the answer's own writer,
// which takes it before the answer's first byte goes out, or the fault handler, which takes it
// for the failure page of a fault before that. So a fault on any thread (the request's own, the
// statement's watch, the client library's) adds nothing to an answer that has begun, and the
// writer never writes beside a failure page.
struct RequestFaultState {
  // Called by the answer's writer before its first byte goes out. When a fault handler has
  // taken the stream it never returns: that handler is ending the process.
  void TakeOutputForAnswer();
  // Called by the fault handler: whether it took the stream for the failure page (false once the
  // answer has begun). Async-signal-safe.
  bool TakeOutputForFaultPage();
  // The answer's writer has taken the stream: a byte of it may have gone out.
  bool OutputStarted() const { return output_owner.load() == kAnswerWriter; }

  static constexpr int kNobody = 0;
  static constexpr int kAnswerWriter = 1;
  static constexpr int kFaultHandler = 2;
  std::atomic<int> output_owner{kNobody};
  int output_fd = -1;
  // An output that is no plain byte stream (the records of a FastCGI connection) has a reporter
  // of its own, called in place of the process's one; `output_id` is what it needs besides the
  // descriptor (the FastCGI request id).
  void (*own_reporter)(const RequestFaultState& state, std::string_view class_name,
                       std::string_view message) = nullptr;
  int output_id = 0;
};

// Publishes the state of the request being served for the handler; nullptr when none is (the
// fault is then an unhandled exception of start-up or shutdown).
void PublishRequestFaultState(RequestFaultState* state);

// A signal as the handler sees it.
struct SignalFault {
  int signal = 0;
  int code = 0;                 // si_code
  uintptr_t fault_address = 0;  // si_addr: the unreachable address, or the instruction
  uintptr_t instruction_address = 0;
  uintptr_t stack_pointer = 0;
  bool write = false;  // the access was a write (page-fault error code), where known
};

// The main thread's stack: [low, high); both 0 when unknown.
struct StackArea {
  uintptr_t low = 0;
  uintptr_t high = 0;
};

// The platform exception record of a signal: SIGSEGV and SIGBUS are access violations, or a
// stack overflow when the fault address or the stack pointer lies at the stack's limit (within
// the guard gap below it); SIGFPE maps by its code (integer division by zero and overflow, the
// floating-point faults; others count as an invalid floating-point operation); SIGILL is a
// privileged instruction for the privileged-opcode and privileged-register codes and otherwise
// an illegal instruction, which is no reason of its own and so an external exception.
ExceptionRecord RecordOfSignal(const SignalFault& fault, const StackArea& stack);

}  // namespace xg
