// The start-up hook: one process-wide procedure slot that the application's initialize step
// calls once. A component chains itself in by keeping the previous occupant (the answer of
// SetStartupHook) and calling it first.
#pragma once

namespace xg {

using TProcedure = void (*)();

// Puts `hook` in the slot and answers the previous occupant (nullptr when empty).
TProcedure SetStartupHook(TProcedure hook);
// Calls the occupant, if any.
void RunStartupHook();

}  // namespace xg
