// The exception classes of the system. Every failure travels as an object of `Exception` or one
// of its descendants; the class name is part of what a client sees (the server failure page
// prints it), so each class reports its own name through ClassName().
#pragma once

#include <cstdint>
#include <exception>
#include <string>

namespace xg {

class Exception : public std::exception {
 public:
  // Also records the code address the object is built from (see Address()).
  explicit Exception(std::string message);
  const std::string& Message() const { return message_; }
  virtual const char* ClassName() const { return "Exception"; }
  const char* what() const noexcept override { return message_.c_str(); }
  // Where the object was built: the return address of its constructor call, which is the raise
  // site when the compiler inlined the class's own constructor, else a place close to it in the
  // same module. Used by the text of an unhandled exception.
  uintptr_t Address() const { return address_; }

 private:
  std::string message_;
  uintptr_t address_ = 0;
};

#define XG_EXCEPTION_CLASS(Name, Base)                       \
  class Name : public Base {                                 \
   public:                                                   \
    using Base::Base;                                        \
    const char* ClassName() const override { return #Name; } \
  }

// Exceptions that keep an error code: the input/output result of EInOutError, the platform
// error code (errno) of EOSError.
#define XG_CODED_EXCEPTION_CLASS(Name)                              \
  class Name : public Exception {                                   \
   public:                                                          \
    Name(std::string message, int error_code)                       \
        : Exception(std::move(message)), error_code_(error_code) {} \
    const char* ClassName() const override { return #Name; }        \
    int ErrorCode() const { return error_code_; }                   \
                                                                    \
   private:                                                         \
    int error_code_;                                                \
  }

// What the platform reported about a processor fault: its exception code, the address of the
// faulting instruction, and for an access violation the kind of access (0 read, 1 write) and the
// address that could not be reached.
struct ExceptionRecord {
  uint32_t code = 0;
  uintptr_t address = 0;
  uintptr_t access_kind = 0;
  uintptr_t access_address = 0;
};

// Run-time faults and conditions. The EExternal family keeps the record of its fault.
class EExternal : public Exception {
 public:
  using Exception::Exception;
  EExternal(std::string message, const ExceptionRecord& record)
      : Exception(std::move(message)), record_(record) {}
  const char* ClassName() const override { return "EExternal"; }
  const ExceptionRecord& Record() const { return record_; }

 private:
  ExceptionRecord record_;
};

XG_EXCEPTION_CLASS(EIntError, EExternal);
XG_EXCEPTION_CLASS(EDivByZero, EIntError);
XG_EXCEPTION_CLASS(ERangeError, EIntError);
XG_EXCEPTION_CLASS(EIntOverflow, EIntError);
XG_EXCEPTION_CLASS(EMathError, EExternal);
XG_EXCEPTION_CLASS(EInvalidOp, EMathError);
XG_EXCEPTION_CLASS(EZeroDivide, EMathError);
XG_EXCEPTION_CLASS(EOverflow, EMathError);
XG_EXCEPTION_CLASS(EUnderflow, EMathError);
XG_EXCEPTION_CLASS(EAccessViolation, EExternal);
XG_EXCEPTION_CLASS(EPrivilege, EExternal);
XG_EXCEPTION_CLASS(EControlC, EExternal);
XG_EXCEPTION_CLASS(EStackOverflow, EExternal);
XG_EXCEPTION_CLASS(EExternalException, EExternal);
XG_EXCEPTION_CLASS(EHeapException, Exception);
XG_EXCEPTION_CLASS(EOutOfMemory, EHeapException);
XG_EXCEPTION_CLASS(EInvalidPointer, EHeapException);
XG_EXCEPTION_CLASS(EInvalidCast, Exception);
XG_EXCEPTION_CLASS(EAssertionFailed, Exception);
XG_EXCEPTION_CLASS(EIntfCastError, Exception);
XG_EXCEPTION_CLASS(ESafecallException, Exception);
XG_CODED_EXCEPTION_CLASS(EInOutError);
XG_EXCEPTION_CLASS(EConvertError, Exception);
XG_CODED_EXCEPTION_CLASS(EOSError);
XG_EXCEPTION_CLASS(EListError, Exception);

// Value conversions.
XG_EXCEPTION_CLASS(EVariantError, Exception);
XG_EXCEPTION_CLASS(EVariantTypeCastError, EVariantError);
XG_EXCEPTION_CLASS(EVariantOverflowError, EVariantError);
XG_EXCEPTION_CLASS(EVariantInvalidOpError, EVariantError);
XG_EXCEPTION_CLASS(EVariantInvalidArgError, EVariantError);
XG_EXCEPTION_CLASS(EVariantBadVarTypeError, EVariantError);
XG_EXCEPTION_CLASS(EBcdException, Exception);
XG_EXCEPTION_CLASS(EBcdOverflowException, EBcdException);

// Web layer and request envelope.
XG_EXCEPTION_CLASS(EWebException, Exception);
XG_EXCEPTION_CLASS(EDecodeError, Exception);
XG_EXCEPTION_CLASS(EXMLDocError, Exception);
XG_EXCEPTION_CLASS(EDOMParseError, Exception);

// Database layer; the InterBase family with its codes lives in db/ib_error.h.
XG_EXCEPTION_CLASS(EDatabaseError, Exception);

}  // namespace xg
