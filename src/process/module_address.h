// Which loaded file a code address belongs to, and the running program's own file. The lookup is
// safe inside a signal handler, on any thread and whatever the faulting thread held: it reads a
// table of the loaded modules noted beforehand (at start-up and after the process loads a
// library), takes no lock and allocates nothing. Asking the loader there instead (dladdr) would
// take its lock, and deadlock when the fault came while another thread held it.
#pragma once

#include <cstdint>
#include <string_view>

namespace xg {

struct CodeLocation {
  bool in_module = false;
  std::string_view file_name;  // the module's file name without its directory
  uintptr_t base = 0;          // the address the module is loaded at
};

// Notes the modules loaded at this moment (the program and its shared libraries), with the
// address ranges of their loaded segments, for LocateCode. Takes the loader's lock: never call it
// in a signal handler. Called at start-up and after the process loads libraries (the database
// client library, and the plugins it loads at an attach); cheap when nothing was loaded since.
void NoteLoadedModules();

// The module (the program or a shared library) whose loaded image holds the address, from the
// modules noted last; not in a module for an address in none of them (one of a library loaded
// after the last note included). Notes the modules first when none were noted yet, which happens
// only outside the handlers (installing them notes the modules).
CodeLocation LocateCode(uintptr_t address);

// The real path of the running program (symbolic links resolved), read once from the process's
// own entry; empty when the system does not tell.
std::string_view ProgramPath();

// The part of a path after its last "/".
std::string_view FileNameOf(std::string_view path);

}  // namespace xg
