#include "config/embedded_engine.h"

#include <dirent.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <set>

#include "config/config_file.h"
#include "process/write_all.h"
#include "texts/format.h"
#include "texts/resource_strings.h"

#ifndef XG_FIREBIRD_ROOT
#define XG_FIREBIRD_ROOT "/usr/lib/x86_64-linux-gnu/firebird/3.0"
#endif

namespace xg {
namespace {

XG_RESOURCE(SEmbeddedNotAbsolute, "embedded pattern %s is not an absolute path");
XG_RESOURCE(SEmbeddedWildcardFolder,
            "embedded pattern %s has a wildcard in a folder: the embedded engine is confined to "
            "the folders of the patterns, so only the file name may hold one");
XG_RESOURCE(SEmbeddedFolderByte, "embedded pattern %s has a folder with one of ; # \" $ { } \\");
XG_RESOURCE(SEngineFolderFailed, "Cannot prepare the embedded engine's configuration in %s: %s");
XG_RESOURCE(SEngineIncludeName,
            "its name has a blank or one of ; # \" $ { } \\, which the engine configuration "
            "cannot include");
XG_RESOURCE(SEngineParentOpen,
            "the folder is open to other users (neither this user's nor root's, or writable by "
            "another group or by others without the sticky bit)");

// The character set module, which the engine loads from its configuration folder. It must be a
// copy: the engine takes no symbolic link for a module.
constexpr char kCharsetModule[] = "intl/libfbintl.so";

// 64-bit FNV-1a: names the folder for its content; the folder is checked by owner, not trusted
// by its name.
uint64_t ContentHash(const std::string& text) {
  uint64_t hash = 0xcbf29ce484222325u;
  for (unsigned char c : text) {
    hash ^= c;
    hash *= 0x100000001b3u;
  }
  return hash;
}

std::string Hex(uint64_t value) {
  static const char kDigits[] = "0123456789abcdef";
  std::string text(16, '0');
  for (int i = 15; i >= 0; --i, value >>= 4) text[i] = kDigits[value & 15];
  return text;
}

class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

[[noreturn]] void Fail(const std::string& folder, const std::string& why) {
  throw EConfigError(Format(LoadResString(SEngineFolderFailed), {folder, why}));
}

[[noreturn]] void FailWithErrno(const std::string& folder, const std::string& what) {
  Fail(folder, what + ": " + std::strerror(errno));
}

// A new file in the new folder, with the text.
void WriteNewFile(const std::string& path, const std::string& text) {
  const Fd fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
  if (fd.get() < 0 || !WriteAll(fd.get(), text.data(), text.size())) FailWithErrno(path, "write");
}

void CopyFile(const std::string& from, const std::string& to) {
  const Fd in(::open(from.c_str(), O_RDONLY | O_CLOEXEC));
  if (in.get() < 0) FailWithErrno(to, "open " + from);
  const Fd out(::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
  if (out.get() < 0) FailWithErrno(to, "create");
  char buffer[65536];
  for (;;) {
    const ssize_t count = ::read(in.get(), buffer, sizeof buffer);
    if (count < 0 && errno == EINTR) continue;
    if (count < 0) FailWithErrno(to, "read " + from);
    if (count == 0) break;
    if (!WriteAll(out.get(), buffer, static_cast<size_t>(count))) FailWithErrno(to, "write");
  }
}

// Removes a folder of the gateway's making: a draft this process did not keep (another process won
// the rename) or one a killed process of this user left, or the process's own folder at exit.
void RemoveNewFolder(const std::string& folder) {
  for (const char* file : {"firebird.conf", "databases.conf", kCharsetModule})
    ::unlink((folder + "/" + file).c_str());
  ::rmdir((folder + "/intl").c_str());
  ::rmdir(folder.c_str());
}

// Whether the folder is the user's own, closed to everyone else: then nobody but the user (or
// root) can have put or changed anything in it.
bool IsOwnClosedFolder(const std::string& folder) {
  struct stat status;
  return ::lstat(folder.c_str(), &status) == 0 && S_ISDIR(status.st_mode) &&
         status.st_uid == ::geteuid() && (status.st_mode & 07777) == 0700;
}

// A parent where no other user can rename the folder away and put another in its place.
void CheckParent(const std::string& parent) {
  struct stat status;
  if (::stat(parent.c_str(), &status) != 0) FailWithErrno(parent, "stat");
  const bool owner_trusted = status.st_uid == ::geteuid() || status.st_uid == 0;
  // The group of the gateway's own processes (the lock folder the package makes is 0770
  // www-data:www-data) counts as the user's.
  const bool group_write = (status.st_mode & S_IWGRP) != 0 && status.st_gid != ::getegid();
  const bool others_write = group_write || (status.st_mode & S_IWOTH) != 0;
  if (!S_ISDIR(status.st_mode) || !owner_trusted ||
      (others_write && (status.st_mode & S_ISVTX) == 0))
    Fail(parent, LoadResString(SEngineParentOpen));
}

// A new folder from the mkdtemp template, closed to other users, holding the engine settings, an
// empty alias file and the character set module; its path. Removed again when it cannot be made
// whole.
std::string MakeFilledFolder(std::string name_template, const std::string& parent,
                             const std::string& settings, const std::string& module) {
  if (::mkdtemp(name_template.data()) == nullptr) FailWithErrno(parent, "mkdtemp");
  const std::string& folder = name_template;
  try {
    WriteNewFile(folder + "/firebird.conf", settings);
    WriteNewFile(folder + "/databases.conf", "");
    if (::mkdir((folder + "/intl").c_str(), 0700) != 0) FailWithErrno(folder, "mkdir intl");
    CopyFile(module, folder + "/" + kCharsetModule);
  } catch (...) {
    RemoveNewFolder(folder);
    throw;
  }
  return folder;
}

// How long a draft folder is given to be filled and renamed into place: one older than this was
// left by a process that was killed while making it.
constexpr time_t kDraftLifeSeconds = 60;

// Removes the drafts ("<prefix><16 hex digits>.XXXXXX") that this user's processes left in the
// parent when they were killed while making a folder.
void RemoveOldDrafts(const std::string& parent, const std::string& prefix) {
  DIR* listing = ::opendir(parent.c_str());
  if (listing == nullptr) return;
  const time_t now = ::time(nullptr);
  while (const dirent* entry = ::readdir(listing)) {
    const std::string name = entry->d_name;
    if (name.size() != prefix.size() + 16 + 7 || name.compare(0, prefix.size(), prefix) != 0 ||
        name[prefix.size() + 16] != '.')
      continue;
    const std::string draft = parent + "/" + name;
    struct stat status;
    if (IsOwnClosedFolder(draft) && ::lstat(draft.c_str(), &status) == 0 &&
        status.st_mtime + kDraftLifeSeconds < now)
      RemoveNewFolder(draft);
  }
  ::closedir(listing);
}

// What makes two folders differ besides the settings: the installed module they copy.
std::string ModuleIdentity(const std::string& module) {
  struct stat status;
  if (::stat(module.c_str(), &status) != 0) return module;
  return module + '\0' + std::to_string(status.st_size) + '\0' +
         std::to_string(status.st_mtim.tv_sec) + '.' + std::to_string(status.st_mtim.tv_nsec);
}

// The folder made for this process alone, removed when the process exits normally (after the
// client library's shutdown, which runs before exit).
std::string& PrivateFolder() {
  static std::string* folder = new std::string;
  return *folder;
}

void RemovePrivateFolder() {
  if (!PrivateFolder().empty()) RemoveNewFolder(PrivateFolder());
}

void RemoveAtExit(const std::string& folder) {
  PrivateFolder() = folder;
  std::atexit(&RemovePrivateFolder);
}

}  // namespace

std::optional<std::string> EmbeddedPatternFolder(const std::string& pattern, std::string* why) {
  if (pattern.empty() || pattern[0] != '/') {
    *why = Format(LoadResString(SEmbeddedNotAbsolute), {pattern});
    return std::nullopt;
  }
  const std::string folder = pattern.substr(0, pattern.rfind('/'));
  if (folder.find_first_of("*?[") != std::string::npos) {
    *why = Format(LoadResString(SEmbeddedWildcardFolder), {pattern});
    return std::nullopt;
  }
  if (folder.find_first_of(";#\"${}\\") != std::string::npos) {
    *why = Format(LoadResString(SEmbeddedFolderByte), {pattern});
    return std::nullopt;
  }
  return folder.empty() ? std::string("/") : folder;
}

std::string EmbeddedEngineSettings(const std::vector<std::string>& patterns,
                                   const std::string& included_settings) {
  std::set<std::string> folders;
  for (const std::string& pattern : patterns) {
    std::string why;
    if (const std::optional<std::string> folder = EmbeddedPatternFolder(pattern, &why))
      folders.insert(*folder);
  }
  std::string access;
  for (const std::string& folder : folders) access += (access.empty() ? "" : ";") + folder;
  return "# xmlgateway's embedded engine: databases only in the folders of [databases] embedded.\n"
         "ServerMode = SuperClassic\n"
         "DatabaseAccess = " +
         (access.empty() ? std::string("None") : "Restrict " + access) +
         "\n"
         "ExternalFileAccess = None\n"
         "UdfAccess = None\n"
         "Providers = Engine12\n" +
         // The engine keeps the first value of a key: the installation's file, read after these
         // lines, gives every other setting (the client's time limits, port, encryption) but
         // cannot reopen what these close.
         (included_settings.empty() ? std::string() : "include " + included_settings + "\n");
}

EngineFolder PrepareEmbeddedEngineFolder(const std::vector<std::string>& patterns,
                                         const std::string& included_settings,
                                         const std::string& parent,
                                         const std::string& installed_root) {
  const std::string settings = EmbeddedEngineSettings(patterns, included_settings);
  const std::string module = installed_root + "/" + kCharsetModule;
  const std::string uid = std::to_string(::geteuid());
  const std::string prefix = "xmlgateway-engine-" + uid + "-";
  const std::string folder =
      parent + "/" + prefix + Hex(ContentHash(settings + '\0' + ModuleIdentity(module)));
  CheckParent(parent);
  if (IsOwnClosedFolder(folder)) return {folder, false};

  RemoveOldDrafts(parent, prefix);
  // Made whole under a name of its own, then renamed into place: a folder of the final name is
  // always complete.
  const std::string draft = MakeFilledFolder(folder + ".XXXXXX", parent, settings, module);
  if (::rename(draft.c_str(), folder.c_str()) != 0) RemoveNewFolder(draft);
  if (IsOwnClosedFolder(folder)) return {folder, false};
  // Another user holds the name (anyone may, in /tmp): a folder of this process's own instead,
  // under a name nobody can foresee.
  return {
      MakeFilledFolder(parent + "/xmlgateway-private-" + uid + "-XXXXXX", parent, settings, module),
      true};
}

void ConfineEmbeddedEngine(const std::vector<std::string>& patterns) {
  if (patterns.empty()) return;
  // Not TMPDIR: that folder is the answers' spool, which holds only nameless files.
  const char* lock = std::getenv("FIREBIRD_LOCK");
  const std::string parent = lock && *lock ? lock : "/tmp";
  // The settings the client library would have read without the gateway's folder.
  const char* inherited = std::getenv("FIREBIRD");
  std::string included =
      std::string(inherited && *inherited ? inherited : XG_FIREBIRD_ROOT) + "/firebird.conf";
  struct stat status;
  if (::stat(included.c_str(), &status) != 0) included.clear();
  if (included.find_first_of(" \t;#\"${}\\") != std::string::npos)
    Fail(included, LoadResString(SEngineIncludeName));
  const EngineFolder folder =
      PrepareEmbeddedEngineFolder(patterns, included, parent, XG_FIREBIRD_ROOT);
  if (folder.private_to_process) RemoveAtExit(folder.path);
  ::setenv("FIREBIRD", folder.path.c_str(), 1);
}

}  // namespace xg
