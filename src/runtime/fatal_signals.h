// Processor faults. A fault (SIGSEGV, SIGBUS, SIGFPE, SIGILL) cannot be turned back into a
// normal answer safely, so the handler reports it and ends the process at once:
// - while a request is served (a reporter is set) and no byte of the response has gone out,
//   the reporter writes the fault's class and message (the server failure page); once bytes
//   went out nothing more is written. The process ends with the fault's run-time error number
//   (216 access violation, 200 division by zero, 202 stack overflow, ...; an external exception,
//   whose number is 0, ends with 217, the number of an unhandled exception, since 0 would read
//   as a served request).
// - during start-up or shutdown (no reporter) the fault is an unhandled exception: its text goes
//   to standard error and the process ends with exit code 1;
// - before the run-time error texts are prepared, "Runtime error <n> at <address>" goes to
//   standard output and the process ends with the number.
// The handlers run on their own stack, so that a stack overflow is reported too. Everything
// they call is async-signal-safe: no memory is allocated, texts are formatted into fixed
// buffers.
#pragma once

#include <cstdint>
#include <string_view>

#include "runtime/exceptions.h"

namespace xg {

// Installs the handlers on an alternate signal stack and notes the main thread's stack area.
void InstallFaultHandlers();

// Writes the answer for a fault during a request. It runs inside the signal handler, so it
// must be async-signal-safe.
using FaultReporter = void (*)(std::string_view class_name, std::string_view message);
// Sets the reporter (nullptr: none, the fault is an unhandled exception of start-up or
// shutdown).
void SetFaultReporter(FaultReporter reporter);

// The response writer calls this before its first write to standard output; from then on a
// fault writes nothing more there.
void NoteOutputStarted();
bool OutputStarted();

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
