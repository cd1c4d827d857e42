// Processor faults on demand, for the test-only program xmlgateway_faulty. Built without the
// sanitizers so that each fault reaches the program's own fault handler as the signal it is.
#pragma once

#include <string_view>

namespace xg::test {

// Causes the named fault: "null-write", "null-read", "div-zero", "stack-overflow",
// "float-div", "float-overflow", "float-invalid" (the last three after unmasking the
// floating-point fault), "illegal-instruction". Returns for any other name.
void CauseFault(std::string_view name);

}  // namespace xg::test
