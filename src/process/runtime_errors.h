// Run-time errors of processor faults: the platform exception codes of faults and the reason
// each stands for, with the reason's exception class, message and run-time error number; the
// pre-built EOutOfMemory; and the texts of an unhandled exception and of a run-time error.
//
// Functions marked "signal-safe" allocate nothing and may run inside a signal handler; they
// read the message texts from a copy of the string table that PrepareRunTimeErrors takes (the
// built-in texts before that).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "texts/exceptions.h"

namespace xg {

// The reasons a processor fault is reported by; what a fault shows is its reason's class name,
// message and run-time error number.
enum class RunTimeErrorReason {
  kDivByZero,
  kRangeError,
  kIntOverflow,
  kInvalidOp,
  kZeroDivide,
  kOverflow,
  kUnderflow,
  kAccessViolation,
  kPrivilege,
  kControlC,
  kStackOverflow,
  kExternalException,
};

// The platform's exception codes of processor faults. Faults reach this program as signals;
// the fatal-signal handler turns each into one of these codes (see fatal_signals.h).
constexpr uint32_t kAccessViolationCode = 0xC0000005;
constexpr uint32_t kIllegalInstructionCode = 0xC000001D;
constexpr uint32_t kArrayBoundsExceededCode = 0xC000008C;
constexpr uint32_t kFloatDenormalOperandCode = 0xC000008D;
constexpr uint32_t kFloatDivideByZeroCode = 0xC000008E;
constexpr uint32_t kFloatInexactResultCode = 0xC000008F;
constexpr uint32_t kFloatInvalidOperationCode = 0xC0000090;
constexpr uint32_t kFloatOverflowCode = 0xC0000091;
constexpr uint32_t kFloatStackCheckCode = 0xC0000092;
constexpr uint32_t kFloatUnderflowCode = 0xC0000093;
constexpr uint32_t kIntDivideByZeroCode = 0xC0000094;
constexpr uint32_t kIntOverflowCode = 0xC0000095;
constexpr uint32_t kPrivilegedInstructionCode = 0xC0000096;
constexpr uint32_t kStackOverflowCode = 0xC00000FD;
constexpr uint32_t kControlCExitCode = 0xC000013A;

// The reason a platform exception code stands for; kExternalException for codes not in the
// table. Signal-safe.
RunTimeErrorReason ReasonOfPlatformCode(uint32_t code);

// The class name, message and run-time error number of a processor fault. The message of an
// access violation names the faulting address, its module, the kind of access and the address
// that could not be reached; the number of an external exception is 0. Signal-safe; the
// message is cut to the buffer (the answer is its whole length).
const char* FaultClassName(const ExceptionRecord& record);
size_t FormatFaultMessage(char* out, size_t capacity, const ExceptionRecord& record);
int FaultErrorNumber(const ExceptionRecord& record);

// Builds the pre-built EOutOfMemory and copies the texts that the fault handler needs from the
// string table. Start-up calls it once, after the language module is installed and before any
// signal may need the texts.
void PrepareRunTimeErrors();
// Whether PrepareRunTimeErrors has run. Signal-safe.
bool PreparedRunTimeErrors();

// The one EOutOfMemory "Out of memory": built on the first call (PrepareRunTimeErrors makes that
// call at start-up, so that reporting it later needs no memory for the object).
const Exception& OutOfMemoryException();

// "Exception <class> in module <file> at <address>.\r\n<message>[.]\r\n": the module that holds
// the address (the program when none does; the address is then taken less 0x1000, and an
// unknown address, 0, stays 0), the address relative to the module's start, "." added when the
// message is not empty and does not end with one; cut to 1024 characters. Signal-safe.
size_t FormatUnhandledExceptionText(char* out, size_t capacity, std::string_view class_name,
                                    uintptr_t address, std::string_view message);

// "Runtime error <number, three wide> at <address, eight hexadecimal digits>". Signal-safe.
size_t FormatRunTimeErrorText(char* out, size_t capacity, int number, uintptr_t address);

}  // namespace xg
