// Gateway configurations for tests: one loaded from a text, as a program's start-up object loads
// its own, and files for programs under test.
#pragma once

#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "config/gateway_config.h"

namespace xg::test {

inline LoadedGatewayConfig LoadedConfig(const std::string& text,
                                        const std::string& file_name = "test.conf") {
  return LoadedGatewayConfig(TextConfigSource(file_name, text));
}

// A configuration file with the text, in a fresh file under /tmp that every user can read (a
// program under test may run as another user); its path. The file stays until the test program
// ends.
inline std::string WriteConfigFile(const std::string& text) {
  struct Files {
    std::vector<std::string> paths;
    ~Files() {
      for (const std::string& path : paths) std::remove(path.c_str());
    }
  };
  static Files files;
  std::string path = "/tmp/xg-conf-XXXXXX";
  const int fd = mkstemp(path.data());
  if (fd < 0) return std::string();
  files.paths.push_back(path);
  fchmod(fd, 0644);
  const bool written = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
  ::close(fd);
  return written ? path : std::string();
}

}  // namespace xg::test
