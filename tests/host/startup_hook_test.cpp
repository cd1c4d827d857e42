#include "runtime/startup_hook.h"

#include <gtest/gtest.h>

#include <string>

#include "host/cgi_application.h"
#include "support/fake_env.h"

namespace xg {
namespace {

std::string calls;
TProcedure firstPrevious = nullptr;
TProcedure secondPrevious = nullptr;

// Two components chained the way the slot asks: each calls the previous occupant first.
void FirstComponent() {
  if (firstPrevious) firstPrevious();
  calls += "first;";
}
void SecondComponent() {
  if (secondPrevious) secondPrevious();
  calls += "second;";
}

TEST(StartupHook, InitializeRunsTheChainedHooksOnceInTheirOrder) {
  test::FakeEnv env;
  TCGIApplication application(env);
  calls.clear();
  application.Initialize();  // an empty slot: nothing to run
  EXPECT_EQ(calls, "");
  firstPrevious = SetStartupHook(&FirstComponent);
  secondPrevious = SetStartupHook(&SecondComponent);
  application.Initialize();
  EXPECT_EQ(calls, "first;second;");
  EXPECT_EQ(SetStartupHook(firstPrevious), &SecondComponent);  // leave the slot as found
}

}  // namespace
}  // namespace xg
