#include "config/database_policy.h"

#include <fnmatch.h>
#include <limits.h>
#include <stdlib.h>

#include <memory>

namespace xg {
namespace {

bool StartsWithIgnoringCase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i) {
    char c = text[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + ('a' - 'A'));
    if (c != prefix[i]) return false;
  }
  return true;
}

std::string RealPath(const std::string& name) {
  std::unique_ptr<char, decltype(&free)> resolved(realpath(name.c_str(), nullptr), &free);
  return resolved ? std::string(resolved.get()) : std::string();
}

// "." and ".." components and repeated "/" removed from the text; ".." at the start of a
// relative name, and above the root, stays or goes as the file system would take it.
std::string NormalizedPath(const std::string& name) {
  const bool absolute = !name.empty() && name[0] == '/';
  std::vector<std::string> parts;
  size_t start = 0;
  while (start <= name.size()) {
    size_t end = name.find('/', start);
    if (end == std::string::npos) end = name.size();
    const std::string part = name.substr(start, end - start);
    if (part == "..") {
      if (!parts.empty() && parts.back() != "..") {
        parts.pop_back();
      } else if (!absolute) {
        parts.push_back(part);
      }
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    start = end + 1;
  }
  std::string path = absolute ? "/" : "";
  for (size_t i = 0; i < parts.size(); ++i) path += (i ? "/" : "") + parts[i];
  return path;
}

// Whether a "." or ".." component stands anywhere in the name, its parts taken between "/", "\\"
// and ":" (the separators of every form a name with a host takes).
bool HasDotComponent(std::string_view name) {
  size_t start = 0;
  while (start <= name.size()) {
    size_t end = name.find_first_of("/\\:", start);
    if (end == std::string_view::npos) end = name.size();
    const std::string_view part = name.substr(start, end - start);
    if (part == "." || part == "..") return true;
    start = end + 1;
  }
  return false;
}

}  // namespace

bool NameHasHost(std::string_view name) {
  for (std::string_view protocol : {"inet://", "inet4://", "inet6://", "xnet://", "wnet://"})
    if (StartsWithIgnoringCase(name, protocol)) return true;
  if (name.starts_with("\\\\")) return true;
  const size_t colon = name.find(':');
  return colon != std::string_view::npos && colon > 0;
}

std::string ResolvedDatabasePath(const std::string& name) {
  std::string resolved = RealPath(name);
  return resolved.empty() ? NormalizedPath(name) : resolved;
}

bool MatchesAnyPattern(const std::vector<std::string>& patterns, const std::string& text) {
  for (const std::string& pattern : patterns)
    if (fnmatch(pattern.c_str(), text.c_str(), 0) == 0) return true;
  return false;
}

DatabaseRoute ChooseDatabaseRoute(const GatewayConfig& config, const std::string& name,
                                  std::string* attach_name) {
  if (attach_name) *attach_name = name;
  if (name.find('\0') != std::string::npos) return DatabaseRoute::kRefused;
  if (!MatchesAnyPattern(config.allow, name)) return DatabaseRoute::kRefused;
  // The server of a name with a host resolves "." and ".." on its own file system, which the
  // patterns cannot see: such a name is refused rather than matched on a text the server reads
  // otherwise.
  if (NameHasHost(name))
    return HasDotComponent(name) ? DatabaseRoute::kRefused : DatabaseRoute::kRemote;
  // Resolved once: the file checked here is the one attached.
  const std::string file = RealPath(name);
  const std::string resolved = file.empty() ? NormalizedPath(name) : file;
  if (!MatchesAnyPattern(config.allow, resolved)) return DatabaseRoute::kRefused;
  if (attach_name) *attach_name = resolved;
  if (!file.empty() && MatchesAnyPattern(config.embedded, file)) return DatabaseRoute::kEmbedded;
  return DatabaseRoute::kLocalServer;
}

}  // namespace xg
