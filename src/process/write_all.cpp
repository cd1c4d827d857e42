#include "process/write_all.h"

#include <unistd.h>

#include <cerrno>

namespace xg {

bool WriteAll(int fd, const char* data, size_t size, bool (*stop)()) {
  while (size > 0) {
    if (stop && stop()) return false;
    const ssize_t written = ::write(fd, data, size);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    data += written;
    size -= static_cast<size_t>(written);
  }
  return true;
}

}  // namespace xg
