#include "faults/injected_faults.h"

#include <fenv.h>

#include <cfloat>

namespace xg::test {
namespace {

// Kept in memory so that the compiler can neither see the values nor drop the accesses.
volatile int* volatile nullTarget = nullptr;
volatile int zero = 0;
volatile int numerator = 7;  // not 1: the compiler turns 1 / x into a comparison
volatile double zeroDouble = 0.0;
volatile double largeDouble = DBL_MAX;
volatile int stopDepth = -1;
volatile int sink = 0;

__attribute__((noinline)) int Recurse(int depth) {
  volatile char frame[512];
  frame[0] = static_cast<char>(depth);
  if (depth == stopDepth) return 0;
  return Recurse(depth + 1) + frame[0];
}

}  // namespace

void CauseFault(std::string_view name) {
  if (name == "null-write") *nullTarget = 1;
  if (name == "null-read") sink = *nullTarget;
  if (name == "div-zero") sink = numerator / zero;
  if (name == "stack-overflow") sink = Recurse(0);
  if (name == "float-div") {
    feenableexcept(FE_DIVBYZERO);
    zeroDouble = 1.0 / zeroDouble;
  }
  if (name == "float-overflow") {
    feenableexcept(FE_OVERFLOW);
    largeDouble = largeDouble * 10.0;
  }
  if (name == "float-invalid") {
    feenableexcept(FE_INVALID);
    zeroDouble = zeroDouble / zeroDouble;
  }
  if (name == "illegal-instruction") __builtin_trap();
}

}  // namespace xg::test
