#include "process/runtime_errors.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <string_view>

#include "process/module_address.h"
#include "support/scoped_language_module.h"
#include "texts/resource_strings.h"

namespace xg {
namespace {

std::string Hex(uintptr_t value) {
  char text[32];
  snprintf(text, sizeof text, "%08lX", static_cast<unsigned long>(value));
  return text;
}

TEST(RunTimeErrors, OutOfMemoryIsTheSamePrebuiltObjectEveryTime) {
  const Exception& first = OutOfMemoryException();
  EXPECT_EQ(&first, &OutOfMemoryException());
  EXPECT_NE(dynamic_cast<const EOutOfMemory*>(&first), nullptr);
  EXPECT_STREQ(first.ClassName(), "EOutOfMemory");
  EXPECT_EQ(first.Message(), "Out of memory");
}

TEST(RunTimeErrors, PlatformCodesMapToTheirReasons) {
  using enum RunTimeErrorReason;
  const std::pair<uint32_t, RunTimeErrorReason> cases[] = {
      {0xC0000005, kAccessViolation}, {0xC000008C, kRangeError},  {0xC000008D, kUnderflow},
      {0xC000008E, kZeroDivide},      {0xC000008F, kInvalidOp},   {0xC0000090, kInvalidOp},
      {0xC0000091, kOverflow},        {0xC0000092, kInvalidOp},   {0xC0000093, kUnderflow},
      {0xC0000094, kDivByZero},       {0xC0000095, kIntOverflow}, {0xC0000096, kPrivilege},
      {0xC00000FD, kStackOverflow},   {0xC000013A, kControlC},    {0xC000001D, kExternalException},
      {0, kExternalException},
  };
  for (const auto& [code, reason] : cases)
    EXPECT_EQ(static_cast<int>(ReasonOfPlatformCode(code)), static_cast<int>(reason)) << code;
}

TEST(RunTimeErrors, AFaultHasItsReasonsClassMessageAndNumber) {
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
      {{0xC000008C, in_program, 0, 0}, "ERangeError", "Range check error", 201},
      {{0xC000008D, in_program, 0, 0}, "EUnderflow", "Floating point underflow", 206},
      {{0xC000008E, in_program, 0, 0}, "EZeroDivide", "Floating point division by zero", 200},
      {{0xC000008F, in_program, 0, 0}, "EInvalidOp", "Invalid floating point operation", 207},
      {{0xC0000091, in_program, 0, 0}, "EOverflow", "Floating point overflow", 205},
      {{0xC0000094, in_program, 0, 0}, "EDivByZero", "Division by zero", 200},
      {{0xC0000095, in_program, 0, 0}, "EIntOverflow", "Integer overflow", 215},
      {{0xC0000096, in_program, 0, 0}, "EPrivilege", "Privileged instruction", 218},
      {{0xC00000FD, in_program, 1, 0x1000}, "EStackOverflow", "Stack overflow", 202},
      {{0xC000013A, in_program, 0, 0}, "EControlC", "Control-C hit", 217},
      {{0xC000001D, in_program, 0, 0}, "EExternalException", "External exception C000001D", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    EXPECT_STREQ(FaultClassName(c.record), c.class_name);
    EXPECT_EQ(FaultErrorNumber(c.record), c.number);
    char text[256];
    const size_t length = FormatFaultMessage(text, sizeof text, c.record);
    EXPECT_EQ(std::string(text, std::min(length, sizeof text)), c.message);
    // Cut to a small buffer, the message keeps its start and reports its whole length.
    char small[10];
    EXPECT_EQ(FormatFaultMessage(small, sizeof small, c.record), c.message.size());
    EXPECT_EQ(std::string(small, sizeof small), c.message.substr(0, sizeof small));
  }
}

std::string UnhandledExceptionText(std::string_view class_name, uintptr_t address,
                                   std::string_view message) {
  char text[2048];
  const size_t length =
      FormatUnhandledExceptionText(text, sizeof text, class_name, address, message);
  return std::string(text, std::min(length, sizeof text));
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
