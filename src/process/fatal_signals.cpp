#include "process/fatal_signals.h"

#include <pthread.h>
#include <signal.h>
#include <ucontext.h>
#include <unistd.h>

#include "process/module_address.h"
#include "process/runtime_errors.h"
#include "process/write_all.h"

namespace xg {
namespace {

// The kernel keeps a gap of this size below a growing stack; a fault inside it is an overflow.
constexpr uintptr_t kStackGuardGap = 1024 * 1024;
constexpr uintptr_t kPageSize = 4096;
constexpr int kUnhandledExceptionNumber = 217;

constexpr int kFatalSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL};

alignas(16) char alternate_stack[128 * 1024];
StackArea main_stack;
volatile FaultReporter reporter = nullptr;
RequestFaultState* volatile current_request = nullptr;

bool AtStackLimit(uintptr_t address, const StackArea& stack) {
  if (stack.low == 0 || address == 0) return false;
  return address + kStackGuardGap >= stack.low && address < stack.low + kPageSize;
}

uint32_t FloatingPointCode(int code) {
  switch (code) {
    case FPE_INTDIV:
      return kIntDivideByZeroCode;
    case FPE_INTOVF:
      return kIntOverflowCode;
    case FPE_FLTDIV:
      return kFloatDivideByZeroCode;
    case FPE_FLTOVF:
      return kFloatOverflowCode;
    case FPE_FLTUND:
      return kFloatUnderflowCode;
    case FPE_FLTRES:
      return kFloatInexactResultCode;
    case FPE_FLTSUB:
      return kArrayBoundsExceededCode;
    default:
      return kFloatInvalidOperationCode;
  }
}

SignalFault FaultOf(int signal, const siginfo_t* info, const void* context) {
  SignalFault fault;
  fault.signal = signal;
  fault.code = info->si_code;
  fault.fault_address = reinterpret_cast<uintptr_t>(info->si_addr);
  fault.instruction_address = fault.fault_address;
#if defined(__x86_64__)
  const auto* machine = &static_cast<const ucontext_t*>(context)->uc_mcontext;
  fault.instruction_address = static_cast<uintptr_t>(machine->gregs[REG_RIP]);
  fault.stack_pointer = static_cast<uintptr_t>(machine->gregs[REG_RSP]);
  // Bit 1 of the page-fault error code marks a write.
  fault.write = (signal == SIGSEGV || signal == SIGBUS) && (machine->gregs[REG_ERR] & 2) != 0;
#else
  (void)context;
#endif
  return fault;
}

void OnFatalSignal(int signal, siginfo_t* info, void* context) {
  const ExceptionRecord record = RecordOfSignal(FaultOf(signal, info, context), main_stack);
  const char* class_name = FaultClassName(record);
  char message[512];
  size_t message_length = FormatFaultMessage(message, sizeof message, record);
  if (message_length > sizeof message) message_length = sizeof message;
  int number = FaultErrorNumber(record);
  if (number == 0) number = kUnhandledExceptionNumber;

  const FaultReporter report = reporter;
  RequestFaultState* const request = current_request;
  char text[1024];
  size_t length = 0;
  if (request) {
    const std::string_view text(message, message_length);
    if (request->output_fd >= 0 && request->TakeOutputForFaultPage()) {
      if (request->own_reporter) {
        request->own_reporter(*request, class_name, text);
      } else if (report) {
        report(request->output_fd, class_name, text);
      }
    }
  } else if (!PreparedRunTimeErrors()) {
    length = FormatRunTimeErrorText(text, sizeof text - 2, number, record.address);
    if (length > sizeof text - 2) length = sizeof text - 2;
    text[length++] = '\r';
    text[length++] = '\n';
    WriteAll(STDOUT_FILENO, text, length);
  } else {
    length = FormatUnhandledExceptionText(text, sizeof text, class_name, record.address,
                                          std::string_view(message, message_length));
    if (length > sizeof text) length = sizeof text;
    WriteAll(STDERR_FILENO, text, length);
    number = 1;
  }
  ::_exit(number);
}

StackArea MainThreadStack() {
  StackArea area;
  pthread_attr_t attributes;
  if (pthread_getattr_np(pthread_self(), &attributes) != 0) return area;
  void* low = nullptr;
  size_t size = 0;
  if (pthread_attr_getstack(&attributes, &low, &size) == 0) {
    area.low = reinterpret_cast<uintptr_t>(low);
    area.high = area.low + size;
  }
  pthread_attr_destroy(&attributes);
  return area;
}

}  // namespace

ExceptionRecord RecordOfSignal(const SignalFault& fault, const StackArea& stack) {
  ExceptionRecord record;
  record.address = fault.instruction_address;
  switch (fault.signal) {
    case SIGSEGV:
    case SIGBUS:
      if (AtStackLimit(fault.fault_address, stack) || AtStackLimit(fault.stack_pointer, stack)) {
        record.code = kStackOverflowCode;
      } else {
        record.code = kAccessViolationCode;
      }
      record.access_kind = fault.write ? 1 : 0;
      record.access_address = fault.fault_address;
      break;
    case SIGFPE:
      record.code = FloatingPointCode(fault.code);
      break;
    default:
      record.code = fault.code == ILL_PRVOPC || fault.code == ILL_PRVREG
                        ? kPrivilegedInstructionCode
                        : kIllegalInstructionCode;
      break;
  }
  return record;
}

void InstallFaultHandlers() {
  NoteLoadedModules();
  main_stack = MainThreadStack();
  stack_t stack{};
  stack.ss_sp = alternate_stack;
  stack.ss_size = sizeof alternate_stack;
  sigaltstack(&stack, nullptr);
  struct sigaction action {};
  action.sa_sigaction = &OnFatalSignal;
  // A fault inside the handler itself ends the process the default way.
  action.sa_flags = SA_SIGINFO | SA_ONSTACK | SA_RESETHAND;
  sigemptyset(&action.sa_mask);
  for (int signal : kFatalSignals) sigaction(signal, &action, nullptr);
}

void RequestFaultState::TakeOutputForAnswer() {
  int owner = kNobody;
  if (output_owner.compare_exchange_strong(owner, kAnswerWriter) || owner == kAnswerWriter) return;
  // A fault handler on another thread writes the failure page and ends the process.
  for (;;) ::pause();
}

bool RequestFaultState::TakeOutputForFaultPage() {
  int owner = kNobody;
  return output_owner.compare_exchange_strong(owner, kFaultHandler);
}

void SetFaultReporter(FaultReporter new_reporter) {
  reporter = new_reporter;
}

void PublishRequestFaultState(RequestFaultState* state) {
  current_request = state;
}

}  // namespace xg
