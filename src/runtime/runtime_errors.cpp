#include "runtime/runtime_errors.h"

#include <signal.h>

#include <algorithm>
#include <array>
#include <type_traits>

#include "runtime/format.h"
#include "runtime/module_address.h"
#include "runtime/runtime_messages.h"
#include "runtime/safe_format.h"

namespace xg {
namespace {

struct ReasonEntry {
  const char* class_name;
  const ResourceString* message;
  int error_number;
};

constexpr ReasonEntry kReasons[] = {
    {nullptr, nullptr, 0},
    {"EOutOfMemory", &SOutOfMemory, 203},
    {"EInvalidPointer", &SInvalidPointer, 204},
    {"EDivByZero", &SDivByZero, 200},
    {"ERangeError", &SRangeError, 201},
    {"EIntOverflow", &SIntOverflow, 215},
    {"EInvalidOp", &SInvalidOp, 207},
    {"EZeroDivide", &SZeroDivide, 200},
    {"EOverflow", &SOverflow, 205},
    {"EUnderflow", &SUnderflow, 206},
    {"EInvalidCast", &SInvalidCast, 219},
    {"EAccessViolation", &SAccessViolationNoArg, 216},
    {"EPrivilege", &SPrivilege, 218},
    {"EControlC", &SControlC, 217},
    {"EStackOverflow", &SStackOverflow, 202},
    {"EVariantError", &SInvalidVarCast, 220},
    {"EVariantError", &SInvalidVarOp, 221},
    {"EVariantError", &SDispatchError, 222},
    {"EVariantError", &SVarArrayCreate, 223},
    {"EVariantError", &SVarInvalid, 224},
    {"EVariantError", &SVarArrayBounds, 225},
    {"EAssertionFailed", &SAssertionFailed, 227},
    {"EExternalException", &SExternalException, 0},
    {"EIntfCastError", &SIntfCastError, 228},
    {"ESafecallException", &SSafecallException, 229},
};
constexpr int kLastReason = kReasonSafecallException;
static_assert(std::size(kReasons) == kLastReason + 1);

struct PlatformCodeEntry {
  uint32_t code;
  int reason;
};

constexpr PlatformCodeEntry kPlatformCodes[] = {
    {kAccessViolationCode, kReasonAccessViolation}, {kArrayBoundsExceededCode, kReasonRangeError},
    {kFloatDenormalOperandCode, kReasonUnderflow},  {kFloatDivideByZeroCode, kReasonZeroDivide},
    {kFloatInexactResultCode, kReasonInvalidOp},    {kFloatInvalidOperationCode, kReasonInvalidOp},
    {kFloatOverflowCode, kReasonOverflow},          {kFloatStackCheckCode, kReasonInvalidOp},
    {kFloatUnderflowCode, kReasonUnderflow},        {kIntDivideByZeroCode, kReasonDivByZero},
    {kIntOverflowCode, kReasonIntOverflow},         {kPrivilegedInstructionCode, kReasonPrivilege},
    {kStackOverflowCode, kReasonStackOverflow},     {kControlCExitCode, kReasonControlC},
};

struct InOutEntry {
  int code;
  const ResourceString* message;
};

constexpr InOutEntry kInOutResults[] = {
    {2, &SFileNotFound}, {3, &SInvalidFilename}, {4, &STooManyOpenFiles}, {5, &SAccessDenied},
    {100, &SEndOfFile},  {101, &SDiskFull},      {106, &SInvalidInput},
};

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

size_t SnapshotIndex(const ResourceString& resource) {
  for (size_t i = 1; i < std::size(kReasons); ++i)
    if (kReasons[i].message == &resource) return i;
  for (size_t i = 0; i < kFaultFormats.size(); ++i)
    if (kFaultFormats[i] == &resource) return std::size(kReasons) + i;
  return 0;
}

// The text of one of the snapshot's resources: the string table's text as start-up copied it,
// the built-in text before that.
std::string_view FaultText(const ResourceString& resource) {
  const TextSnapshot& snapshot = Snapshot();
  const size_t index = SnapshotIndex(resource);
  if (!snapshot.ready || index == 0) return resource.text;
  return snapshot.texts[index];
}

// ---- Exception objects ----

template <class E>
std::exception_ptr Make(std::string message, const ExceptionRecord* record) {
  if constexpr (std::is_base_of_v<EExternal, E>) {
    if (record) return std::make_exception_ptr(E(std::move(message), *record));
  }
  return std::make_exception_ptr(E(std::move(message)));
}

// A new object of the reason's class (3 to 24).
std::exception_ptr MakeReasonException(int reason, std::string message,
                                       const ExceptionRecord* record) {
  switch (reason) {
    case kReasonDivByZero:
      return Make<EDivByZero>(std::move(message), record);
    case kReasonRangeError:
      return Make<ERangeError>(std::move(message), record);
    case kReasonIntOverflow:
      return Make<EIntOverflow>(std::move(message), record);
    case kReasonInvalidOp:
      return Make<EInvalidOp>(std::move(message), record);
    case kReasonZeroDivide:
      return Make<EZeroDivide>(std::move(message), record);
    case kReasonOverflow:
      return Make<EOverflow>(std::move(message), record);
    case kReasonUnderflow:
      return Make<EUnderflow>(std::move(message), record);
    case kReasonInvalidCast:
      return Make<EInvalidCast>(std::move(message), record);
    case kReasonAccessViolation:
      return Make<EAccessViolation>(std::move(message), record);
    case kReasonPrivilege:
      return Make<EPrivilege>(std::move(message), record);
    case kReasonControlC:
      return Make<EControlC>(std::move(message), record);
    case kReasonStackOverflow:
      return Make<EStackOverflow>(std::move(message), record);
    case kReasonVarTypeCast:
    case kReasonVarInvalidOp:
    case kReasonVarDispatch:
    case kReasonVarArrayCreate:
    case kReasonVarInvalidArg:
    case kReasonVarArrayBounds:
      return Make<EVariantError>(std::move(message), record);
    case kReasonAssertionFailed:
      return Make<EAssertionFailed>(std::move(message), record);
    case kReasonIntfCastError:
      return Make<EIntfCastError>(std::move(message), record);
    case kReasonSafecallException:
      return Make<ESafecallException>(std::move(message), record);
    default:
      return Make<EExternalException>(std::move(message), record);
  }
}

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

const std::exception_ptr& PrebuiltInvalidPointer() {
  static const std::exception_ptr failure =
      std::make_exception_ptr(EInvalidPointer(LoadResString(SInvalidPointer)));
  return failure;
}

thread_local int in_out_result = 0;

}  // namespace

const char* RunTimeErrorClassName(int reason) {
  return reason >= 1 && reason <= kLastReason ? kReasons[reason].class_name : nullptr;
}

int RunTimeErrorNumber(int reason) {
  return reason >= 1 && reason <= kLastReason ? kReasons[reason].error_number : 0;
}

int ReasonOfPlatformCode(uint32_t code) {
  for (const PlatformCodeEntry& entry : kPlatformCodes)
    if (entry.code == code) return entry.reason;
  return kReasonExternalException;
}

const char* FaultClassName(const ExceptionRecord& record) {
  return kReasons[ReasonOfPlatformCode(record.code)].class_name;
}

int FaultErrorNumber(const ExceptionRecord& record) {
  return kReasons[ReasonOfPlatformCode(record.code)].error_number;
}

size_t FormatFaultMessage(char* out, size_t capacity, const ExceptionRecord& record) {
  const int reason = ReasonOfPlatformCode(record.code);
  if (reason == kReasonAccessViolation) {
    const std::string_view access = FaultText(record.access_kind == 0 ? SReadAccess : SWriteAccess);
    const auto address = static_cast<int64_t>(record.address);
    const auto target = static_cast<int64_t>(record.access_address);
    const CodeLocation location = LocateCode(record.address);
    if (location.in_module)
      return SafeFormat(out, capacity, FaultText(SModuleAccessViolation),
                        {address, location.file_name, access, target});
    return SafeFormat(out, capacity, FaultText(SAccessViolationArg3), {address, access, target});
  }
  if (reason == kReasonExternalException)
    return SafeFormat(out, capacity, FaultText(SExternalException),
                      {static_cast<int64_t>(record.code)});
  const std::string_view message = FaultText(*kReasons[reason].message);
  const size_t length = std::min(message.size(), capacity);
  std::copy_n(message.data(), length, out);
  return message.size();
}

std::exception_ptr ExceptionForPlatformFault(const ExceptionRecord& record) {
  std::string message(FormatFaultMessage(nullptr, 0, record), '\0');
  FormatFaultMessage(message.data(), message.size(), record);
  return MakeReasonException(ReasonOfPlatformCode(record.code), std::move(message), &record);
}

void PrepareRunTimeErrors() {
  OutOfMemoryException();
  InvalidPointerException();
  TextSnapshot& snapshot = Snapshot();
  snapshot.ready = 0;
  auto keep = [&](size_t index, const ResourceString& resource) {
    const std::string text = LoadResString(resource);
    char* copy = new char[text.size() + 1];
    std::copy_n(text.c_str(), text.size() + 1, copy);
    delete[] snapshot.texts[index].data();
    snapshot.texts[index] = std::string_view(copy, text.size());
  };
  for (size_t i = 1; i < std::size(kReasons); ++i) keep(i, *kReasons[i].message);
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

const Exception& InvalidPointerException() {
  return ObjectOf(PrebuiltInvalidPointer());
}

std::exception_ptr RunTimeErrorException(int reason) {
  if (reason == kReasonOutOfMemory) return PrebuiltOutOfMemory();
  if (reason == kReasonInvalidPointer) return PrebuiltInvalidPointer();
  if (reason < 1 || reason > kLastReason) {
    const int code = in_out_result;
    in_out_result = 0;
    return std::make_exception_ptr(EInOutError(InOutErrorMessage(code), code));
  }
  std::string message = LoadResString(*kReasons[reason].message);
  if (reason == kReasonExternalException) message = Format(message, {int64_t{0}});
  return MakeReasonException(reason, std::move(message), nullptr);
}

void RaiseRunTimeError(int reason) {
  std::rethrow_exception(RunTimeErrorException(reason));
}

void SetInOutResult(int code) {
  in_out_result = code;
}

int InOutResult() {
  return in_out_result;
}

std::string InOutErrorMessage(int code) {
  for (const InOutEntry& entry : kInOutResults)
    if (entry.code == code) return LoadResString(*entry.message);
  return Format(LoadResString(SInOutError), {int64_t{code}});
}

void RaiseInOutError(int code) {
  throw EInOutError(InOutErrorMessage(code), code);
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

std::string UnhandledExceptionText(std::string_view class_name, uintptr_t address,
                                   std::string_view message) {
  char buffer[kUnhandledTextLimit];
  const size_t length =
      FormatUnhandledExceptionText(buffer, sizeof buffer, class_name, address, message);
  return std::string(buffer, std::min(length, sizeof buffer));
}

size_t FormatRunTimeErrorText(char* out, size_t capacity, int number, uintptr_t address) {
  return SafeFormat(out, capacity, "Runtime error %3d at %.8X",
                    {int64_t{number}, static_cast<int64_t>(address)});
}

}  // namespace xg
