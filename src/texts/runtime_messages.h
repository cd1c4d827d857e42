// The run time's message texts: memory running out, the reasons of processor faults, the texts
// of processor faults and of an unhandled exception, and the messages of the common exceptions
// that other parts of the system raise. Each is a named string resource (a language
// module may replace it); read them with LoadResString.
#pragma once

#include "texts/resource_strings.h"

namespace xg {

// Memory running out (the pre-built EOutOfMemory).
XG_RESOURCE(SOutOfMemory, "Out of memory");

// The reasons of processor faults.
XG_RESOURCE(SDivByZero, "Division by zero");
XG_RESOURCE(SRangeError, "Range check error");
XG_RESOURCE(SIntOverflow, "Integer overflow");
XG_RESOURCE(SInvalidOp, "Invalid floating point operation");
XG_RESOURCE(SZeroDivide, "Floating point division by zero");
XG_RESOURCE(SOverflow, "Floating point overflow");
XG_RESOURCE(SUnderflow, "Floating point underflow");
XG_RESOURCE(SAccessViolationNoArg, "Access violation");
XG_RESOURCE(SPrivilege, "Privileged instruction");
XG_RESOURCE(SControlC, "Control-C hit");
XG_RESOURCE(SStackOverflow, "Stack overflow");
XG_RESOURCE(SExternalException, "External exception %x");

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
XG_RESOURCE(SInvalidFormat, "Format '%s' invalid or incompatible with argument");
XG_RESOURCE(SArgumentMissing, "No argument for format '%s'");

// Variant conversions (EVariantError).
XG_RESOURCE(SInvalidVarOp, "Invalid variant operation");
XG_RESOURCE(SVarInvalid, "Invalid argument");

// Lists (EListError).
XG_RESOURCE(SListIndexError, "List index out of bounds (%d)");

}  // namespace xg
