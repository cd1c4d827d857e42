#include "process/module_address.h"

#include <limits.h>
#include <link.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <mutex>

namespace xg {
namespace {

constexpr size_t kMaxModules = 512;
constexpr size_t kMaxFileName = 128;

struct ModuleRange {
  uintptr_t low = 0;   // the module's first loaded byte, where the loader maps it
  uintptr_t high = 0;  // past its last loaded byte
  char file_name[kMaxFileName] = {};
};

struct ModuleTable {
  size_t count = 0;
  ModuleRange modules[kMaxModules];
  // The loader's counts of loads and unloads when the table was made.
  unsigned long long loads = 0;
  unsigned long long unloads = 0;
};

// Two tables: the one published is only read; a note fills the other and then publishes it.
// Notes are serialized by the mutex and come only after the process loaded something new, which
// happens a few times in its life, so a table is not refilled while a handler still reads it.
ModuleTable tables[2];
std::atomic<ModuleTable*> published{nullptr};
std::mutex note_mutex;

struct Counts {
  unsigned long long loads = 0;
  unsigned long long unloads = 0;
};

int ReadCounts(dl_phdr_info* info, size_t size, void* data) {
  auto* counts = static_cast<Counts*>(data);
  if (size >= offsetof(dl_phdr_info, dlpi_subs) + sizeof info->dlpi_subs) {
    counts->loads = info->dlpi_adds;
    counts->unloads = info->dlpi_subs;
  }
  return 1;  // the first module tells
}

int AddModule(dl_phdr_info* info, size_t, void* data) {
  auto* table = static_cast<ModuleTable*>(data);
  if (table->count == kMaxModules) return 1;
  uintptr_t low = UINTPTR_MAX;
  uintptr_t high = 0;
  for (int i = 0; i < info->dlpi_phnum; ++i) {
    const ElfW(Phdr)& segment = info->dlpi_phdr[i];
    if (segment.p_type != PT_LOAD) continue;
    const uintptr_t start = info->dlpi_addr + segment.p_vaddr;
    low = std::min(low, start & ~(static_cast<uintptr_t>(::getpagesize()) - 1));
    high = std::max(high, start + segment.p_memsz);
  }
  if (low >= high) return 0;
  ModuleRange& module = table->modules[table->count++];
  module.low = low;
  module.high = high;
  // The loader names the program by an empty name.
  const std::string_view name =
      FileNameOf(info->dlpi_name && *info->dlpi_name ? info->dlpi_name : ProgramPath());
  const size_t length = std::min(name.size(), kMaxFileName - 1);
  std::memcpy(module.file_name, name.data(), length);
  module.file_name[length] = '\0';
  return 0;
}

}  // namespace

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

void NoteLoadedModules() {
  std::lock_guard<std::mutex> lock(note_mutex);
  ProgramPath();  // read once, before any handler needs it
  Counts counts;
  dl_iterate_phdr(&ReadCounts, &counts);
  ModuleTable* current = published.load();
  if (current && current->loads == counts.loads && current->unloads == counts.unloads) return;
  ModuleTable* next = current == &tables[0] ? &tables[1] : &tables[0];
  next->count = 0;
  next->loads = counts.loads;
  next->unloads = counts.unloads;
  dl_iterate_phdr(&AddModule, next);
  published.store(next);
}

CodeLocation LocateCode(uintptr_t address) {
  CodeLocation location;
  if (address == 0) return location;
  if (published.load() == nullptr) NoteLoadedModules();
  const ModuleTable* table = published.load();
  for (size_t i = 0; i < table->count; ++i) {
    const ModuleRange& module = table->modules[i];
    if (address < module.low || address >= module.high) continue;
    location.in_module = true;
    location.base = module.low;
    location.file_name = module.file_name;
    return location;
  }
  return location;
}

}  // namespace xg
