#include "texts/exceptions.h"

namespace xg {

// Out of line and never inlined, so that the return address is the call site.
__attribute__((noinline)) Exception::Exception(std::string message)
    : message_(std::move(message)),
      address_(reinterpret_cast<uintptr_t>(__builtin_return_address(0))) {}

}  // namespace xg
