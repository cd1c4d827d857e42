#include "process/runtime_errors.h"

#include <signal.h>

#include <algorithm>
#include <array>

#include "process/module_address.h"
#include "texts/runtime_messages.h"
#include "texts/safe_format.h"

namespace xg {
namespace {

struct ReasonEntry {
  RunTimeErrorReason reason;
  const char* class_name;
  const ResourceString* message;
  int error_number;
};

// In the order of RunTimeErrorReason.
constexpr ReasonEntry kReasons[] = {
    {RunTimeErrorReason::kDivByZero, "EDivByZero", &SDivByZero, 200},
    {RunTimeErrorReason::kRangeError, "ERangeError", &SRangeError, 201},
    {RunTimeErrorReason::kIntOverflow, "EIntOverflow", &SIntOverflow, 215},
    {RunTimeErrorReason::kInvalidOp, "EInvalidOp", &SInvalidOp, 207},
    {RunTimeErrorReason::kZeroDivide, "EZeroDivide", &SZeroDivide, 200},
    {RunTimeErrorReason::kOverflow, "EOverflow", &SOverflow, 205},
    {RunTimeErrorReason::kUnderflow, "EUnderflow", &SUnderflow, 206},
    {RunTimeErrorReason::kAccessViolation, "EAccessViolation", &SAccessViolationNoArg, 216},
    {RunTimeErrorReason::kPrivilege, "EPrivilege", &SPrivilege, 218},
    {RunTimeErrorReason::kControlC, "EControlC", &SControlC, 217},
    {RunTimeErrorReason::kStackOverflow, "EStackOverflow", &SStackOverflow, 202},
    {RunTimeErrorReason::kExternalException, "EExternalException", &SExternalException, 0},
};

constexpr bool InReasonOrder() {
  for (size_t i = 0; i < std::size(kReasons); ++i)
    if (static_cast<size_t>(kReasons[i].reason) != i) return false;
  return true;
}
static_assert(InReasonOrder(), "kReasons is indexed by RunTimeErrorReason");

const ReasonEntry& EntryOf(RunTimeErrorReason reason) {
  return kReasons[static_cast<size_t>(reason)];
}

struct PlatformCodeEntry {
  uint32_t code;
  RunTimeErrorReason reason;
};

constexpr PlatformCodeEntry kPlatformCodes[] = {
    {kAccessViolationCode, RunTimeErrorReason::kAccessViolation},
    {kArrayBoundsExceededCode, RunTimeErrorReason::kRangeError},
    {kFloatDenormalOperandCode, RunTimeErrorReason::kUnderflow},
    {kFloatDivideByZeroCode, RunTimeErrorReason::kZeroDivide},
    {kFloatInexactResultCode, RunTimeErrorReason::kInvalidOp},
    {kFloatInvalidOperationCode, RunTimeErrorReason::kInvalidOp},
    {kFloatOverflowCode, RunTimeErrorReason::kOverflow},
    {kFloatStackCheckCode, RunTimeErrorReason::kInvalidOp},
    {kFloatUnderflowCode, RunTimeErrorReason::kUnderflow},
    {kIntDivideByZeroCode, RunTimeErrorReason::kDivByZero},
    {kIntOverflowCode, RunTimeErrorReason::kIntOverflow},
    {kPrivilegedInstructionCode, RunTimeErrorReason::kPrivilege},
    {kStackOverflowCode, RunTimeErrorReason::kStackOverflow},
    {kControlCExitCode, RunTimeErrorReason::kControlC},
};

const ReasonEntry& EntryOfFault(const ExceptionRecord& record) {
  return EntryOf(ReasonOfPlatformCode(record.code));
}

constexpr size_t kUnhandledTextLimit = 1024;

// ---- The texts a signal handler reads ----

// The resources the fault texts come from: the reason messages, then the fault formats.
constexpr std::array<const ResourceString*, 5> kFaultFormats = {
    &SAccessViolationArg3, &SModuleAccessViolation, &SReadAccess, &SWriteAccess, &SException};

// The texts are copies that are never freed: a fault on another thread while the process exits
// (after static objects are gone) must still find them.
struct TextSnapshot {
  std::array<std::string_view, std::size(kReasons) + kFaultFormats.size()> texts;
  volatile sig_atomic_t ready = 0;
};

// At namespace scope and constant-initialized, so that a signal handler never runs its
// initialization.
constinit TextSnapshot snapshot;

TextSnapshot& Snapshot() {
  return snapshot;
}

constexpr size_t kNotInSnapshot = static_cast<size_t>(-1);

size_t SnapshotIndex(const ResourceString& resource) {
  for (size_t i = 0; i < std::size(kReasons); ++i)
    if (kReasons[i].message == &resource) return i;
  for (size_t i = 0; i < kFaultFormats.size(); ++i)
    if (kFaultFormats[i] == &resource) return std::size(kReasons) + i;
  return kNotInSnapshot;
}

// The text of one of the snapshot's resources: the string table's text as start-up copied it,
// the built-in text before that.
std::string_view FaultText(const ResourceString& resource) {
  const TextSnapshot& snapshot = Snapshot();
  const size_t index = SnapshotIndex(resource);
  if (!snapshot.ready || index == kNotInSnapshot) return resource.text;
  return snapshot.texts[index];
}

// ---- The pre-built exception object ----

const Exception& ObjectOf(const std::exception_ptr& failure) {
  try {
    std::rethrow_exception(failure);
  } catch (const Exception& e) {
    return e;
  }
}

const std::exception_ptr& PrebuiltOutOfMemory() {
  static const std::exception_ptr failure =
      std::make_exception_ptr(EOutOfMemory(LoadResString(SOutOfMemory)));
  return failure;
}

}  // namespace

RunTimeErrorReason ReasonOfPlatformCode(uint32_t code) {
  for (const PlatformCodeEntry& entry : kPlatformCodes)
    if (entry.code == code) return entry.reason;
  return RunTimeErrorReason::kExternalException;
}

const char* FaultClassName(const ExceptionRecord& record) {
  return EntryOfFault(record).class_name;
}

int FaultErrorNumber(const ExceptionRecord& record) {
  return EntryOfFault(record).error_number;
}

size_t FormatFaultMessage(char* out, size_t capacity, const ExceptionRecord& record) {
  const RunTimeErrorReason reason = ReasonOfPlatformCode(record.code);
  if (reason == RunTimeErrorReason::kAccessViolation) {
    const std::string_view access = FaultText(record.access_kind == 0 ? SReadAccess : SWriteAccess);
    const auto address = static_cast<int64_t>(record.address);
    const auto target = static_cast<int64_t>(record.access_address);
    const CodeLocation location = LocateCode(record.address);
    if (location.in_module)
      return SafeFormat(out, capacity, FaultText(SModuleAccessViolation),
                        {address, location.file_name, access, target});
    return SafeFormat(out, capacity, FaultText(SAccessViolationArg3), {address, access, target});
  }
  if (reason == RunTimeErrorReason::kExternalException)
    return SafeFormat(out, capacity, FaultText(SExternalException),
                      {static_cast<int64_t>(record.code)});
  const std::string_view message = FaultText(*EntryOf(reason).message);
  const size_t length = std::min(message.size(), capacity);
  std::copy_n(message.data(), length, out);
  return message.size();
}

void PrepareRunTimeErrors() {
  OutOfMemoryException();
  TextSnapshot& snapshot = Snapshot();
  snapshot.ready = 0;
  auto keep = [&](size_t index, const ResourceString& resource) {
    const std::string text = LoadResString(resource);
    char* copy = new char[text.size() + 1];
    std::copy_n(text.c_str(), text.size() + 1, copy);
    delete[] snapshot.texts[index].data();
    snapshot.texts[index] = std::string_view(copy, text.size());
  };
  for (size_t i = 0; i < std::size(kReasons); ++i) keep(i, *kReasons[i].message);
  for (size_t i = 0; i < kFaultFormats.size(); ++i)
    keep(std::size(kReasons) + i, *kFaultFormats[i]);
  snapshot.ready = 1;
}

bool PreparedRunTimeErrors() {
  return Snapshot().ready != 0;
}

const Exception& OutOfMemoryException() {
  return ObjectOf(PrebuiltOutOfMemory());
}

size_t FormatUnhandledExceptionText(char* out, size_t capacity, std::string_view class_name,
                                    uintptr_t address, std::string_view message) {
  const CodeLocation location = LocateCode(address);
  const std::string_view module =
      location.in_module ? location.file_name : FileNameOf(ProgramPath());
  const uintptr_t relative = address == 0         ? 0
                             : location.in_module ? address - location.base
                                                  : address - 0x1000;
  const char* period = !message.empty() && message.back() != '.' ? "." : "";
  const size_t length =
      SafeFormat(out, std::min(capacity, kUnhandledTextLimit), FaultText(SException),
                 {class_name, module, static_cast<int64_t>(relative), message, period});
  return std::min(length, kUnhandledTextLimit);
}

size_t FormatRunTimeErrorText(char* out, size_t capacity, int number, uintptr_t address) {
  return SafeFormat(out, capacity, "Runtime error %3d at %.8X",
                    {int64_t{number}, static_cast<int64_t>(address)});
}

}  // namespace xg
