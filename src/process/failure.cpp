#include "process/failure.h"

#include <cxxabi.h>

#include <cstdlib>
#include <memory>
#include <new>
#include <typeinfo>

#include "process/runtime_errors.h"

namespace xg {
namespace {

std::string Demangle(const char* name) {
  int status = 0;
  std::unique_ptr<char, void (*)(void*)> readable(
      abi::__cxa_demangle(name, nullptr, nullptr, &status), std::free);
  return status == 0 && readable ? std::string(readable.get()) : std::string(name);
}

}  // namespace

const Exception* AsException(const std::exception_ptr& failure) {
  if (!failure) return nullptr;
  try {
    std::rethrow_exception(failure);
  } catch (const Exception& e) {
    return &e;
  } catch (const std::bad_alloc&) {
    return &OutOfMemoryException();
  } catch (...) {
    return nullptr;
  }
}

std::string FailureClassName(const std::exception_ptr& failure) {
  if (const Exception* e = AsException(failure)) return e->ClassName();
  try {
    std::rethrow_exception(failure);
  } catch (const std::exception& e) {
    return Demangle(typeid(e).name());
  } catch (...) {
    const std::type_info* type = abi::__cxa_current_exception_type();
    return type ? Demangle(type->name()) : std::string("unknown");
  }
}

}  // namespace xg
