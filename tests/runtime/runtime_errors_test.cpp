#include "runtime/runtime_errors.h"

#include <gtest/gtest.h>

#include <memory>
#include <regex>
#include <string>

#include "runtime/module_address.h"
#include "runtime/resource_strings.h"
#include "support/failures.h"
#include "support/scoped_language_module.h"

namespace xg {
namespace {

std::string Hex(uintptr_t value) {
  char text[32];
  snprintf(text, sizeof text, "%08lX", static_cast<unsigned long>(value));
  return text;
}

TEST(RunTimeErrors, EachReasonRaisesItsClassWithItsMessageAndHasItsNumber) {
  struct Case {
    int reason;
    const char* class_name;
    const char* message;
    int number;
  };
  const Case cases[] = {
      {kReasonDivByZero, "EDivByZero", "Division by zero", 200},
      {kReasonRangeError, "ERangeError", "Range check error", 201},
      {kReasonIntOverflow, "EIntOverflow", "Integer overflow", 215},
      {kReasonInvalidOp, "EInvalidOp", "Invalid floating point operation", 207},
      {kReasonZeroDivide, "EZeroDivide", "Floating point division by zero", 200},
      {kReasonOverflow, "EOverflow", "Floating point overflow", 205},
      {kReasonUnderflow, "EUnderflow", "Floating point underflow", 206},
      {kReasonInvalidCast, "EInvalidCast", "Invalid class typecast", 219},
      {kReasonAccessViolation, "EAccessViolation", "Access violation", 216},
      {kReasonPrivilege, "EPrivilege", "Privileged instruction", 218},
      {kReasonControlC, "EControlC", "Control-C hit", 217},
      {kReasonStackOverflow, "EStackOverflow", "Stack overflow", 202},
      {kReasonVarTypeCast, "EVariantError", "Invalid variant type conversion", 220},
      {kReasonVarInvalidOp, "EVariantError", "Invalid variant operation", 221},
      {kReasonVarDispatch, "EVariantError", "Variant method calls not supported", 222},
      {kReasonVarArrayCreate, "EVariantError", "Error creating variant or safe array", 223},
      {kReasonVarInvalidArg, "EVariantError", "Invalid argument", 224},
      {kReasonVarArrayBounds, "EVariantError", "Variant or safe array index out of bounds", 225},
      {kReasonAssertionFailed, "EAssertionFailed", "Assertion failed", 227},
      {kReasonExternalException, "EExternalException", "External exception 0", 0},
      {kReasonIntfCastError, "EIntfCastError", "Interface not supported", 228},
      {kReasonSafecallException, "ESafecallException", "Exception in safecall method", 229},
      {kReasonOutOfMemory, "EOutOfMemory", "Out of memory", 203},
      {kReasonInvalidPointer, "EInvalidPointer", "Invalid pointer operation", 204},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.reason);
    const std::exception_ptr failure = test::RaisedBy([&] { RaiseRunTimeError(c.reason); });
    const Exception* e = test::FailureOf<Exception>(failure);
    ASSERT_NE(e, nullptr);
    EXPECT_STREQ(e->ClassName(), c.class_name);
    EXPECT_STREQ(RunTimeErrorClassName(c.reason), c.class_name);
    EXPECT_EQ(e->Message(), c.message);
    EXPECT_EQ(RunTimeErrorNumber(c.reason), c.number);
  }
  EXPECT_EQ(RunTimeErrorClassName(25), nullptr);
  EXPECT_EQ(RunTimeErrorNumber(0), 0);
}

TEST(RunTimeErrors, OutOfMemoryAndInvalidPointerAreTheSamePrebuiltObjectsEveryTime) {
  for (int reason : {kReasonOutOfMemory, kReasonInvalidPointer}) {
    const std::exception_ptr first = test::RaisedBy([&] { RaiseRunTimeError(reason); });
    const std::exception_ptr second = test::RaisedBy([&] { RaiseRunTimeError(reason); });
    const Exception* a = test::FailureOf<Exception>(first);
    const Exception* b = test::FailureOf<Exception>(second);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a, b);
    EXPECT_EQ(a,
              reason == kReasonOutOfMemory ? &OutOfMemoryException() : &InvalidPointerException());
  }
  EXPECT_NE(dynamic_cast<const EOutOfMemory*>(&OutOfMemoryException()), nullptr);
  EXPECT_NE(dynamic_cast<const EInvalidPointer*>(&InvalidPointerException()), nullptr);
}

TEST(RunTimeErrors, InputOutputResultsHaveTheirTextOrTheirNumber) {
  const std::pair<int, const char*> cases[] = {
      {2, "File not found"},          {3, "Invalid filename"},          {4, "Too many open files"},
      {5, "File access denied"},      {100, "Read beyond end of file"}, {101, "Disk full"},
      {106, "Invalid numeric input"}, {103, "I/O error 103"},           {0, "I/O error 0"},
      {-7, "I/O error -7"},
  };
  for (const auto& [code, message] : cases) {
    SCOPED_TRACE(code);
    // Reason 0 (and any above 24) takes the pending result and clears it.
    SetInOutResult(code);
    const auto e = test::Raised<EInOutError>([&] { RaiseRunTimeError(code % 2 ? 0 : 99); });
    ASSERT_TRUE(e);
    EXPECT_STREQ(e->ClassName(), "EInOutError");
    EXPECT_EQ(e->Message(), message);
    EXPECT_EQ(e->ErrorCode(), code);
    EXPECT_EQ(InOutResult(), 0);
    EXPECT_THROW(RaiseInOutError(code), EInOutError);
  }
}

TEST(RunTimeErrors, PlatformCodesMapToTheirReasons) {
  const std::pair<uint32_t, int> cases[] = {
      {0xC0000005, kReasonAccessViolation},   {0xC000008C, kReasonRangeError},
      {0xC000008D, kReasonUnderflow},         {0xC000008E, kReasonZeroDivide},
      {0xC000008F, kReasonInvalidOp},         {0xC0000090, kReasonInvalidOp},
      {0xC0000091, kReasonOverflow},          {0xC0000092, kReasonInvalidOp},
      {0xC0000093, kReasonUnderflow},         {0xC0000094, kReasonDivByZero},
      {0xC0000095, kReasonIntOverflow},       {0xC0000096, kReasonPrivilege},
      {0xC00000FD, kReasonStackOverflow},     {0xC000013A, kReasonControlC},
      {0xC000001D, kReasonExternalException}, {0, kReasonExternalException},
  };
  for (const auto& [code, reason] : cases) EXPECT_EQ(ReasonOfPlatformCode(code), reason) << code;
}

TEST(RunTimeErrors, AFaultBecomesAnObjectOfItsReasonKeepingItsRecord) {
  // A code address inside this test program, and one in no module at all.
  const auto in_program = reinterpret_cast<uintptr_t>(&Hex);
  const CodeLocation location = LocateCode(in_program);
  ASSERT_TRUE(location.in_module);
  EXPECT_EQ(location.file_name, FileNameOf(ProgramPath()));
  struct Case {
    ExceptionRecord record;
    const char* class_name;
    std::string message;
    int number;
  };
  const Case cases[] = {
      {{0xC0000005, in_program, 1, 0},
       "EAccessViolation",
       "Access violation at address " + Hex(in_program) + " in module '" +
           std::string(location.file_name) + "'. Write of address 00000000",
       216},
      {{0xC0000005, 0x10, 0, 0xDEAD0},
       "EAccessViolation",
       "Access violation at address 00000010. Read of address 000DEAD0",
       216},
      {{0xC0000094, in_program, 0, 0}, "EDivByZero", "Division by zero", 200},
      {{0xC000008E, in_program, 0, 0}, "EZeroDivide", "Floating point division by zero", 200},
      {{0xC00000FD, in_program, 1, 0x1000}, "EStackOverflow", "Stack overflow", 202},
      {{0xC000001D, in_program, 0, 0}, "EExternalException", "External exception C000001D", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    EXPECT_STREQ(FaultClassName(c.record), c.class_name);
    EXPECT_EQ(FaultErrorNumber(c.record), c.number);
    const std::exception_ptr failure = ExceptionForPlatformFault(c.record);
    const auto* external = test::FailureOf<EExternal>(failure);
    ASSERT_NE(external, nullptr);
    EXPECT_STREQ(external->ClassName(), c.class_name);
    EXPECT_EQ(external->Message(), c.message);
    EXPECT_EQ(external->Record().code, c.record.code);
    EXPECT_EQ(external->Record().access_address, c.record.access_address);
    // Cut to a small buffer, the message keeps its start and reports its whole length.
    char small[10];
    EXPECT_EQ(FormatFaultMessage(small, sizeof small, c.record), c.message.size());
    EXPECT_EQ(std::string(small, sizeof small), c.message.substr(0, sizeof small));
  }
}

TEST(RunTimeErrors, TheUnhandledExceptionTextAddsOnePeriodAndIsCut) {
  const std::string program(FileNameOf(ProgramPath()));
  const auto address = reinterpret_cast<uintptr_t>(&Hex);
  const std::string relative = Hex(address - LocateCode(address).base);
  EXPECT_EQ(
      UnhandledExceptionText("EInOutError", address, "Disk full"),
      "Exception EInOutError in module " + program + " at " + relative + ".\r\nDisk full.\r\n");
  EXPECT_EQ(
      UnhandledExceptionText("EInOutError", address, "Disk full."),
      "Exception EInOutError in module " + program + " at " + relative + ".\r\nDisk full.\r\n");
  // No address known: the program, at 0; an empty message gets no period.
  EXPECT_EQ(UnhandledExceptionText("Exception", 0, ""),
            "Exception Exception in module " + program + " at 00000000.\r\n\r\n");
  // An address in no module: the program, the address less 0x1000.
  EXPECT_EQ(UnhandledExceptionText("E", 0x5000, "m."),
            "Exception E in module " + program + " at 00004000.\r\nm.\r\n");
  const std::string text = UnhandledExceptionText("EConvertError", 0, std::string(3000, 'x'));
  EXPECT_EQ(text.size(), 1024u);
  EXPECT_EQ(text.substr(0, 25), "Exception EConvertError i");
}

TEST(RunTimeErrors, RunTimeErrorText) {
  char text[64];
  size_t length = FormatRunTimeErrorText(text, sizeof text, 216, 0x40ABCD);
  EXPECT_EQ(std::string(text, length), "Runtime error 216 at 0040ABCD");
  length = FormatRunTimeErrorText(text, sizeof text, 5, 0);
  EXPECT_EQ(std::string(text, length), "Runtime error   5 at 00000000");
}

TEST(RunTimeErrors, FaultTextsComeFromTheStringTableAsStartUpCopiedIt) {
  const ExceptionRecord divide{0xC0000094, 0, 0, 0};
  const ExceptionRecord access{0xC0000005, 0x10, 1, 0x20};
  auto module = std::make_unique<test::ScopedLanguageModule>(
      LanguageTexts{{"SDivByZero", "Divis\xE3o por zero"},
                    {"SAccessViolationArg3", "Viola\xE7\xE3o em %p: %s de %p"},
                    {"SWriteAccess", "escrita"}});
  char text[128];
  // Before the copy is taken the built-in texts hold.
  EXPECT_EQ(std::string(text, FormatFaultMessage(text, sizeof text, divide)), "Division by zero");
  PrepareRunTimeErrors();
  EXPECT_TRUE(PreparedRunTimeErrors());
  EXPECT_EQ(std::string(text, FormatFaultMessage(text, sizeof text, divide)),
            "Divis\xE3o por zero");
  EXPECT_EQ(std::string(text, FormatFaultMessage(text, sizeof text, access)),
            "Viola\xE7\xE3o em 00000010: escrita de 00000020");
  // A text the module lacks reads as empty.
  EXPECT_EQ(FormatFaultMessage(text, sizeof text, {0xC00000FD, 0, 0, 0}), 0u);
  module.reset();
  PrepareRunTimeErrors();
  EXPECT_EQ(std::string(text, FormatFaultMessage(text, sizeof text, divide)), "Division by zero");
}

}  // namespace
}  // namespace xg
