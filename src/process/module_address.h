// Which loaded file a code address belongs to, and the running program's own file. Both answers
// are safe to ask for inside a signal handler: they allocate nothing (the loader's address
// lookup takes only its own recursive lock, and the program's path is read with readlink).
#pragma once

#include <cstdint>
#include <string_view>

namespace xg {

struct CodeLocation {
  bool in_module = false;
  std::string_view file_name;  // the module's file name without its directory
  uintptr_t base = 0;          // the address the module is loaded at
};

// The module (the program or a shared library) whose mapped image holds the address.
CodeLocation LocateCode(uintptr_t address);

// The real path of the running program (symbolic links resolved), read once from the process's
// own entry; empty when the system does not tell.
std::string_view ProgramPath();

// The part of a path after its last "/".
std::string_view FileNameOf(std::string_view path);

}  // namespace xg
