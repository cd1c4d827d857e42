// How the program sees a raised object: the Exception it is, if any, and its class name.
// Running out of memory (std::bad_alloc) counts as the run time's one pre-built EOutOfMemory
// "Out of memory" (see runtime_errors.h).
#pragma once

#include <exception>
#include <string>

#include "texts/exceptions.h"

namespace xg {

// The failure as an Exception, or nullptr when it is some other object. The result lives as
// long as `failure` does.
const Exception* AsException(const std::exception_ptr& failure);

// The failure's class name: ClassName() of an Exception, else the name of its C++ type.
std::string FailureClassName(const std::exception_ptr& failure);

}  // namespace xg
