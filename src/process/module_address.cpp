#include "process/module_address.h"

#include <dlfcn.h>
#include <limits.h>
#include <unistd.h>

namespace xg {

std::string_view FileNameOf(std::string_view path) {
  const size_t slash = path.rfind('/');
  return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

std::string_view ProgramPath() {
  static char path[PATH_MAX];
  static ssize_t length = -1;
  if (length < 0) {
    const ssize_t read = ::readlink("/proc/self/exe", path, sizeof path);
    length = read > 0 && static_cast<size_t>(read) < sizeof path ? read : 0;
  }
  return std::string_view(path, static_cast<size_t>(length));
}

CodeLocation LocateCode(uintptr_t address) {
  CodeLocation location;
  Dl_info info{};
  if (address == 0 || ::dladdr(reinterpret_cast<void*>(address), &info) == 0) return location;
  location.in_module = true;
  location.base = reinterpret_cast<uintptr_t>(info.dli_fbase);
  // The loader names the program by the path it was started with, or not at all.
  location.file_name = FileNameOf(info.dli_fname ? std::string_view(info.dli_fname) : "");
  if (location.file_name.empty()) location.file_name = FileNameOf(ProgramPath());
  return location;
}

}  // namespace xg
