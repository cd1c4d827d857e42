// A library whose initialization never ends, for the fault tests: loading it holds the loader's
// lock for good. Once its initialization runs it writes one byte to the descriptor that
// XG_LOADER_BUSY_FD names, so that the test program knows the lock is held.
#include <unistd.h>

#include <cstdlib>

namespace {

__attribute__((constructor)) void HoldTheLoader() {
  const char* fd = std::getenv("XG_LOADER_BUSY_FD");
  if (fd == nullptr) return;
  const char byte = 1;
  if (::write(std::atoi(fd), &byte, 1) != 1) return;
  for (;;) ::pause();
}

}  // namespace
