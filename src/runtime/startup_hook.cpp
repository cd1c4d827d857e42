#include "runtime/startup_hook.h"

namespace xg {
namespace {

TProcedure startupHook = nullptr;

}  // namespace

TProcedure SetStartupHook(TProcedure hook) {
  const TProcedure previous = startupHook;
  startupHook = hook;
  return previous;
}

void RunStartupHook() {
  if (startupHook) startupHook();
}

}  // namespace xg
