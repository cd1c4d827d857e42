#include "process/fatal_signals.h"

#include <gtest/gtest.h>
#include <signal.h>

#include "process/runtime_errors.h"

namespace xg {
namespace {

TEST(FatalSignals, EachSignalMapsToItsPlatformCodeClassAndNumber) {
  const StackArea stack{0x7F0000100000, 0x7F0000900000};
  const uintptr_t pc = 0x401234;
  const uintptr_t sp = 0x7F0000800000;
  struct Case {
    const char* name;
    SignalFault fault;
    uint32_t code;
    const char* class_name;
    int number;
  };
  const Case cases[] = {
      {"null write", {SIGSEGV, SEGV_MAPERR, 0, pc, sp, true}, 0xC0000005, "EAccessViolation", 216},
      {"bus error",
       {SIGBUS, BUS_ADRERR, 0x1000, pc, sp, false},
       0xC0000005,
       "EAccessViolation",
       216},
      {"fault just below the stack",
       {SIGSEGV, SEGV_MAPERR, 0x7F0000100000 - 8, pc, 0x7F0000100000 - 8, true},
       0xC00000FD,
       "EStackOverflow",
       202},
      {"large frame into the guard gap",
       {SIGSEGV, SEGV_MAPERR, 0x7F0000100000 - 900 * 1024, pc, 0x7F0000100000 + 64, true},
       0xC00000FD,
       "EStackOverflow",
       202},
      {"below the guard gap is not the stack",
       {SIGSEGV, SEGV_MAPERR, 0x7F0000100000 - 2048 * 1024, pc, sp, true},
       0xC0000005,
       "EAccessViolation",
       216},
      {"integer division", {SIGFPE, FPE_INTDIV, pc, pc, sp, false}, 0xC0000094, "EDivByZero", 200},
      {"integer overflow",
       {SIGFPE, FPE_INTOVF, pc, pc, sp, false},
       0xC0000095,
       "EIntOverflow",
       215},
      {"float division", {SIGFPE, FPE_FLTDIV, pc, pc, sp, false}, 0xC000008E, "EZeroDivide", 200},
      {"float overflow", {SIGFPE, FPE_FLTOVF, pc, pc, sp, false}, 0xC0000091, "EOverflow", 205},
      {"float underflow", {SIGFPE, FPE_FLTUND, pc, pc, sp, false}, 0xC0000093, "EUnderflow", 206},
      {"float invalid", {SIGFPE, FPE_FLTINV, pc, pc, sp, false}, 0xC0000090, "EInvalidOp", 207},
      {"float inexact", {SIGFPE, FPE_FLTRES, pc, pc, sp, false}, 0xC000008F, "EInvalidOp", 207},
      {"subscript", {SIGFPE, FPE_FLTSUB, pc, pc, sp, false}, 0xC000008C, "ERangeError", 201},
      {"privileged opcode", {SIGILL, ILL_PRVOPC, pc, pc, sp, false}, 0xC0000096, "EPrivilege", 218},
      {"privileged register",
       {SIGILL, ILL_PRVREG, pc, pc, sp, false},
       0xC0000096,
       "EPrivilege",
       218},
      {"illegal opcode",
       {SIGILL, ILL_ILLOPN, pc, pc, sp, false},
       0xC000001D,
       "EExternalException",
       0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const ExceptionRecord record = RecordOfSignal(c.fault, stack);
    EXPECT_EQ(record.code, c.code);
    EXPECT_EQ(record.address, pc);
    EXPECT_STREQ(FaultClassName(record), c.class_name);
    EXPECT_EQ(FaultErrorNumber(record), c.number);
  }
  // An access violation keeps the kind of access and the address that could not be reached.
  const ExceptionRecord read = RecordOfSignal({SIGSEGV, SEGV_ACCERR, 0x18, pc, sp, false}, stack);
  EXPECT_EQ(read.access_kind, 0u);
  EXPECT_EQ(read.access_address, 0x18u);
  const ExceptionRecord write = RecordOfSignal({SIGSEGV, SEGV_ACCERR, 0x18, pc, sp, true}, stack);
  EXPECT_EQ(write.access_kind, 1u);
  // Without a known stack area nothing counts as a stack overflow.
  EXPECT_EQ(RecordOfSignal(cases[2].fault, StackArea{}).code, 0xC0000005u);
}

// The answer's stream has one writer: once the answer has begun a fault handler writes no page
// into it, and once a handler took it for the page the answer's writer gets nothing of it.
TEST(RequestFaultState, TheAnswersStreamHasOneWriter) {
  RequestFaultState answered;
  EXPECT_FALSE(answered.OutputStarted());
  answered.TakeOutputForAnswer();
  answered.TakeOutputForAnswer();  // every write of the answer asks again
  EXPECT_TRUE(answered.OutputStarted());
  EXPECT_FALSE(answered.TakeOutputForFaultPage());

  RequestFaultState faulted;
  EXPECT_TRUE(faulted.TakeOutputForFaultPage());
  EXPECT_FALSE(faulted.OutputStarted());
  EXPECT_FALSE(faulted.TakeOutputForFaultPage());  // a second fault writes no second page
}

}  // namespace
}  // namespace xg
