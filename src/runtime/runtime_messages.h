// The run time's message texts: the reasons of run-time errors, the input/output results, the
// texts of processor faults and of an unhandled exception, and the messages of the common
// exceptions that other parts of the system raise. Each is a named string resource (a language
// module may replace it); read them with LoadResString.
#pragma once

#include "runtime/resource_strings.h"

namespace xg {

// Run-time error reasons.
XG_RESOURCE(SOutOfMemory, "Out of memory");
XG_RESOURCE(SInvalidPointer, "Invalid pointer operation");
XG_RESOURCE(SDivByZero, "Division by zero");
XG_RESOURCE(SRangeError, "Range check error");
XG_RESOURCE(SIntOverflow, "Integer overflow");
XG_RESOURCE(SInvalidOp, "Invalid floating point operation");
XG_RESOURCE(SZeroDivide, "Floating point division by zero");
XG_RESOURCE(SOverflow, "Floating point overflow");
XG_RESOURCE(SUnderflow, "Floating point underflow");
XG_RESOURCE(SInvalidCast, "Invalid class typecast");
XG_RESOURCE(SAccessViolationNoArg, "Access violation");
XG_RESOURCE(SPrivilege, "Privileged instruction");
XG_RESOURCE(SControlC, "Control-C hit");
XG_RESOURCE(SStackOverflow, "Stack overflow");
XG_RESOURCE(SInvalidVarCast, "Invalid variant type conversion");
XG_RESOURCE(SInvalidVarOp, "Invalid variant operation");
XG_RESOURCE(SDispatchError, "Variant method calls not supported");
XG_RESOURCE(SVarArrayCreate, "Error creating variant or safe array");
XG_RESOURCE(SVarInvalid, "Invalid argument");
XG_RESOURCE(SVarArrayBounds, "Variant or safe array index out of bounds");
XG_RESOURCE(SAssertionFailed, "Assertion failed");
XG_RESOURCE(SExternalException, "External exception %x");
XG_RESOURCE(SIntfCastError, "Interface not supported");
XG_RESOURCE(SSafecallException, "Exception in safecall method");

// Input/output results.
XG_RESOURCE(SFileNotFound, "File not found");
XG_RESOURCE(SInvalidFilename, "Invalid filename");
XG_RESOURCE(STooManyOpenFiles, "Too many open files");
XG_RESOURCE(SAccessDenied, "File access denied");
XG_RESOURCE(SEndOfFile, "Read beyond end of file");
XG_RESOURCE(SDiskFull, "Disk full");
XG_RESOURCE(SInvalidInput, "Invalid numeric input");
XG_RESOURCE(SInOutError, "I/O error %d");

// Processor faults and unhandled exceptions.
XG_RESOURCE(SAccessViolationArg3, "Access violation at address %p. %s of address %p");
XG_RESOURCE(SModuleAccessViolation,
            "Access violation at address %p in module '%s'. %s of address %p");
XG_RESOURCE(SReadAccess, "Read");
XG_RESOURCE(SWriteAccess, "Write");
XG_RESOURCE(SException, "Exception %s in module %s at %p.\r\n%s%s\r\n");

// Platform errors.
XG_RESOURCE(SOSError, "System Error.  Code: %d.\r\n%s");
XG_RESOURCE(SUnkOSError, "A call to an OS function failed");

// Conversions (EConvertError).
XG_RESOURCE(SInvalidInteger, "'%s' is not a valid integer value");
XG_RESOURCE(SInvalidFloat, "'%s' is not a valid floating point value");
XG_RESOURCE(SInvalidDate, "'%s' is not a valid date");
XG_RESOURCE(SInvalidTime, "'%s' is not a valid time");
XG_RESOURCE(SInvalidDateTime, "'%s' is not a valid date and time");
XG_RESOURCE(SInvalidTimeStamp, "'%d.%d' is not a valid timestamp");
XG_RESOURCE(STimeEncodeError, "Invalid argument to time encode");
XG_RESOURCE(SDateEncodeError, "Invalid argument to date encode");
XG_RESOURCE(SInvalidGUID, "'%s' is not a valid GUID value");
XG_RESOURCE(SInvalidFormat, "Format '%s' invalid or incompatible with argument");
XG_RESOURCE(SArgumentMissing, "No argument for format '%s'");

// Lists (EListError) and string lists.
XG_RESOURCE(SListIndexError, "List index out of bounds (%d)");
XG_RESOURCE(SListCapacityError, "List capacity out of bounds (%d)");
XG_RESOURCE(SListCountError, "List count out of bounds (%d)");
XG_RESOURCE(SDuplicateItem, "List does not allow duplicates ($0%x)");
XG_RESOURCE(SDuplicateString, "String list does not allow duplicates");
XG_RESOURCE(SSortedListError, "Operation not allowed on sorted list");

// An aborted operation, a call of an operation a class does not implement, a failed assertion
// ("%s (%s, line %d)": the assertion's text or SAssertionFailed, the source file name, the line).
XG_RESOURCE(SOperationAborted, "Operation aborted");
XG_RESOURCE(SAbstractError, "Abstract Error");
XG_RESOURCE(SAssertError, "%s (%s, line %d)");

}  // namespace xg
