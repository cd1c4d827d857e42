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
  const char* className;
  const ResourceString* message;
  int errorNumber;
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
constexpr int kLastReason = reSafecallException;
static_assert(std::size(kReasons) == kLastReason + 1);

struct PlatformCodeEntry {
  uint32_t code;
  int reason;
};

constexpr PlatformCodeEntry kPlatformCodes[] = {
    {kAccessViolationCode, reAccessViolation}, {kArrayBoundsExceededCode, reRangeError},
    {kFloatDenormalOperandCode, reUnderflow},  {kFloatDivideByZeroCode, reZeroDivide},
    {kFloatInexactResultCode, reInvalidOp},    {kFloatInvalidOperationCode, reInvalidOp},
    {kFloatOverflowCode, reOverflow},          {kFloatStackCheckCode, reInvalidOp},
    {kFloatUnderflowCode, reUnderflow},        {kIntDivideByZeroCode, reDivByZero},
    {kIntOverflowCode, reIntOverflow},         {kPrivilegedInstructionCode, rePrivilege},
    {kStackOverflowCode, reStackOverflow},     {kControlCExitCode, reControlC},
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
std::exception_ptr Make(std::string message, const TExceptionRecord* record) {
  if constexpr (std::is_base_of_v<EExternal, E>) {
    if (record) return std::make_exception_ptr(E(std::move(message), *record));
  }
  return std::make_exception_ptr(E(std::move(message)));
}

// A new object of the reason's class (3 to 24).
std::exception_ptr MakeReasonException(int reason, std::string message,
                                       const TExceptionRecord* record) {
  switch (reason) {
    case reDivByZero:
      return Make<EDivByZero>(std::move(message), record);
    case reRangeError:
      return Make<ERangeError>(std::move(message), record);
    case reIntOverflow:
      return Make<EIntOverflow>(std::move(message), record);
    case reInvalidOp:
      return Make<EInvalidOp>(std::move(message), record);
    case reZeroDivide:
      return Make<EZeroDivide>(std::move(message), record);
    case reOverflow:
      return Make<EOverflow>(std::move(message), record);
    case reUnderflow:
      return Make<EUnderflow>(std::move(message), record);
    case reInvalidCast:
      return Make<EInvalidCast>(std::move(message), record);
    case reAccessViolation:
      return Make<EAccessViolation>(std::move(message), record);
    case rePrivilege:
      return Make<EPrivilege>(std::move(message), record);
    case reControlC:
      return Make<EControlC>(std::move(message), record);
    case reStackOverflow:
      return Make<EStackOverflow>(std::move(message), record);
    case reVarTypeCast:
    case reVarInvalidOp:
    case reVarDispatch:
    case reVarArrayCreate:
    case reVarInvalidArg:
    case reVarArrayBounds:
      return Make<EVariantError>(std::move(message), record);
    case reAssertionFailed:
      return Make<EAssertionFailed>(std::move(message), record);
    case reIntfCastError:
      return Make<EIntfCastError>(std::move(message), record);
    case reSafecallException:
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

thread_local int inOutResult = 0;

}  // namespace

const char* RunTimeErrorClassName(int reason) {
  return reason >= 1 && reason <= kLastReason ? kReasons[reason].className : nullptr;
}

int RunTimeErrorNumber(int reason) {
  return reason >= 1 && reason <= kLastReason ? kReasons[reason].errorNumber : 0;
}

int ReasonOfPlatformCode(uint32_t code) {
  for (const PlatformCodeEntry& entry : kPlatformCodes)
    if (entry.code == code) return entry.reason;
  return reExternalException;
}

const char* FaultClassName(const TExceptionRecord& record) {
  return kReasons[ReasonOfPlatformCode(record.ExceptionCode)].className;
}

int FaultErrorNumber(const TExceptionRecord& record) {
  return kReasons[ReasonOfPlatformCode(record.ExceptionCode)].errorNumber;
}

size_t FormatFaultMessage(char* out, size_t capacity, const TExceptionRecord& record) {
  const int reason = ReasonOfPlatformCode(record.ExceptionCode);
  if (reason == reAccessViolation) {
    const std::string_view access = FaultText(record.AccessKind == 0 ? SReadAccess : SWriteAccess);
    const auto address = static_cast<int64_t>(record.ExceptionAddress);
    const auto target = static_cast<int64_t>(record.AccessAddress);
    const CodeLocation location = LocateCode(record.ExceptionAddress);
    if (location.inModule)
      return SafeFormat(out, capacity, FaultText(SModuleAccessViolation),
                        {address, location.fileName, access, target});
    return SafeFormat(out, capacity, FaultText(SAccessViolationArg3), {address, access, target});
  }
  if (reason == reExternalException)
    return SafeFormat(out, capacity, FaultText(SExternalException),
                      {static_cast<int64_t>(record.ExceptionCode)});
  const std::string_view message = FaultText(*kReasons[reason].message);
  const size_t length = std::min(message.size(), capacity);
  std::copy_n(message.data(), length, out);
  return message.size();
}

std::exception_ptr ExceptionForPlatformFault(const TExceptionRecord& record) {
  std::string message(FormatFaultMessage(nullptr, 0, record), '\0');
  FormatFaultMessage(message.data(), message.size(), record);
  return MakeReasonException(ReasonOfPlatformCode(record.ExceptionCode), std::move(message),
                             &record);
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
  if (reason == reOutOfMemory) return PrebuiltOutOfMemory();
  if (reason == reInvalidPointer) return PrebuiltInvalidPointer();
  if (reason < 1 || reason > kLastReason) {
    const int code = inOutResult;
    inOutResult = 0;
    return std::make_exception_ptr(EInOutError(InOutErrorMessage(code), code));
  }
  std::string message = LoadResString(*kReasons[reason].message);
  if (reason == reExternalException) message = Format(message, {int64_t{0}});
  return MakeReasonException(reason, std::move(message), nullptr);
}

void RaiseRunTimeError(int reason) {
  std::rethrow_exception(RunTimeErrorException(reason));
}

void SetInOutResult(int code) {
  inOutResult = code;
}

int InOutResult() {
  return inOutResult;
}

std::string InOutErrorMessage(int code) {
  for (const InOutEntry& entry : kInOutResults)
    if (entry.code == code) return LoadResString(*entry.message);
  return Format(LoadResString(SInOutError), {int64_t{code}});
}

void RaiseInOutError(int code) {
  throw EInOutError(InOutErrorMessage(code), code);
}

size_t FormatUnhandledExceptionText(char* out, size_t capacity, std::string_view className,
                                    uintptr_t address, std::string_view message) {
  const CodeLocation location = LocateCode(address);
  const std::string_view module = location.inModule ? location.fileName : FileNameOf(ProgramPath());
  const uintptr_t relative = address == 0        ? 0
                             : location.inModule ? address - location.base
                                                 : address - 0x1000;
  const char* period = !message.empty() && message.back() != '.' ? "." : "";
  const size_t length =
      SafeFormat(out, std::min(capacity, kUnhandledTextLimit), FaultText(SException),
                 {className, module, static_cast<int64_t>(relative), message, period});
  return std::min(length, kUnhandledTextLimit);
}

std::string UnhandledExceptionText(std::string_view className, uintptr_t address,
                                   std::string_view message) {
  char buffer[kUnhandledTextLimit];
  const size_t length =
      FormatUnhandledExceptionText(buffer, sizeof buffer, className, address, message);
  return std::string(buffer, std::min(length, sizeof buffer));
}

size_t FormatRunTimeErrorText(char* out, size_t capacity, int number, uintptr_t address) {
  return SafeFormat(out, capacity, "Runtime error %3d at %.8X",
                    {int64_t{number}, static_cast<int64_t>(address)});
}

}  // namespace xg
