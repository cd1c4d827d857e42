// The exception classes of the system. Every failure travels as an object of `Exception` or one
// of its descendants; the class name is part of what a client sees (the server failure page
// prints it), so each class reports its own name through ClassName().
#pragma once

#include <exception>
#include <string>

namespace xg {

class Exception : public std::exception {
 public:
  explicit Exception(std::string message) : message_(std::move(message)) {}
  const std::string& Message() const { return message_; }
  void SetMessage(std::string message) { message_ = std::move(message); }
  virtual const char* ClassName() const { return "Exception"; }
  const char* what() const noexcept override { return message_.c_str(); }

 private:
  std::string message_;
};

#define XG_EXCEPTION_CLASS(Name, Base)                       \
  class Name : public Base {                                 \
   public:                                                   \
    using Base::Base;                                        \
    const char* ClassName() const override { return #Name; } \
  }

// Run-time faults and conditions.
XG_EXCEPTION_CLASS(EExternal, Exception);
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
XG_EXCEPTION_CLASS(EOutOfResources, EOutOfMemory);
XG_EXCEPTION_CLASS(EInvalidCast, Exception);
XG_EXCEPTION_CLASS(EAssertionFailed, Exception);
XG_EXCEPTION_CLASS(EIntfCastError, Exception);
XG_EXCEPTION_CLASS(ESafecallException, Exception);
XG_EXCEPTION_CLASS(EInOutError, Exception);
XG_EXCEPTION_CLASS(EConvertError, Exception);
XG_EXCEPTION_CLASS(EAbort, Exception);
XG_EXCEPTION_CLASS(EAbstractError, Exception);
XG_EXCEPTION_CLASS(EOSError, Exception);
XG_EXCEPTION_CLASS(EListError, Exception);
XG_EXCEPTION_CLASS(EStringListError, Exception);

// Value conversions.
XG_EXCEPTION_CLASS(EVariantError, Exception);
XG_EXCEPTION_CLASS(EVariantTypeCastError, EVariantError);
XG_EXCEPTION_CLASS(EVariantOverflowError, EVariantError);
XG_EXCEPTION_CLASS(EVariantInvalidOpError, EVariantError);
XG_EXCEPTION_CLASS(EVariantInvalidArgError, EVariantError);
XG_EXCEPTION_CLASS(EVariantBadVarTypeError, EVariantError);
XG_EXCEPTION_CLASS(EVariantBadIndexError, EVariantError);
XG_EXCEPTION_CLASS(EVariantArrayLockedError, EVariantError);
XG_EXCEPTION_CLASS(EVariantNotImplError, EVariantError);
XG_EXCEPTION_CLASS(EVariantUnexpectedError, EVariantError);
XG_EXCEPTION_CLASS(EVariantOutOfMemoryError, EVariantError);
XG_EXCEPTION_CLASS(EBcdException, Exception);
XG_EXCEPTION_CLASS(EBcdOverflowException, EBcdException);

// Web layer and request envelope.
XG_EXCEPTION_CLASS(EWebException, Exception);
XG_EXCEPTION_CLASS(EResNotFound, Exception);
XG_EXCEPTION_CLASS(EDecodeError, Exception);
XG_EXCEPTION_CLASS(EXMLDocError, Exception);
XG_EXCEPTION_CLASS(EDOMParseError, Exception);

// Database layer; the InterBase family with its codes lives in db/ib_error.h.
XG_EXCEPTION_CLASS(EDatabaseError, Exception);

}  // namespace xg
