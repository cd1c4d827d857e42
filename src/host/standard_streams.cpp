#include "host/standard_streams.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace xg {

void OpenMissingStandardStreams() {
  for (int descriptor = STDIN_FILENO; descriptor <= STDERR_FILENO; ++descriptor) {
    if (::fcntl(descriptor, F_GETFD) != -1 || errno != EBADF) continue;
    // The lowest free descriptor is this one, since those below it are open by now.
    const int opened = ::open("/dev/null", O_RDWR);
    if (opened >= 0 && opened != descriptor) {
      ::dup2(opened, descriptor);
      ::close(opened);
    }
  }
}

void EndStandardOutput() {
  const int null_device = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
  // Without /dev/null the output stays open, and the answer ends when the process does.
  if (null_device < 0) return;
  if (null_device != STDOUT_FILENO) {
    ::dup2(null_device, STDOUT_FILENO);
    ::close(null_device);
  }
}

}  // namespace xg
