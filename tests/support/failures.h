// Checking what an action raises. Each helper records a test failure when the action returns
// instead of raising, or raises something other than the class asked for, so a test cannot pass
// because a call stopped failing.
#pragma once

#include <gtest/gtest.h>

#include <exception>
#include <optional>
#include <string>
#include <utility>

#include "texts/exceptions.h"

namespace xg::test {

// What the action raised; a null pointer when it returned.
template <class F>
std::exception_ptr RaisedBy(F&& action) {
  try {
    std::forward<F>(action)();
  } catch (...) {
    return std::current_exception();
  }
  ADD_FAILURE() << "nothing raised";
  return nullptr;
}

// The object of class E inside the failure (it lives as long as the failure); a null pointer
// when there is none or it is of another class.
template <class E>
const E* FailureOf(const std::exception_ptr& failure) {
  if (!failure) return nullptr;
  try {
    std::rethrow_exception(failure);
  } catch (const E& e) {
    return &e;
  } catch (...) {
  }
  try {
    std::rethrow_exception(failure);
  } catch (const Exception& e) {
    ADD_FAILURE() << "raised " << e.ClassName() << ": " << e.Message();
  } catch (...) {
    ADD_FAILURE() << "raised something that is no Exception";
  }
  return nullptr;
}

// A copy of the failure of class E that the action raised.
template <class E, class F>
std::optional<E> Raised(F&& action) {
  const std::exception_ptr failure = RaisedBy(std::forward<F>(action));
  if (const E* e = FailureOf<E>(failure)) return *e;
  return std::nullopt;
}

// The message of the failure of class E that the action raised; empty when there is none.
template <class E, class F>
std::string FailureMessage(F&& action) {
  const std::optional<E> e = Raised<E>(std::forward<F>(action));
  return e ? e->Message() : std::string();
}

}  // namespace xg::test
