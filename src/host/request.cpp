#include "host/request.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <memory>

namespace xg {
namespace {

constexpr size_t kFilePieceSize = 64 * 1024;

}  // namespace

bool Request::WriteFileRange(int fd, off_t offset, size_t size) {
  NoteOutputStarting();
  const auto piece = std::make_unique<char[]>(std::min(size, kFilePieceSize));
  while (size > 0) {
    const ssize_t got = ::pread(fd, piece.get(), std::min(size, kFilePieceSize), offset);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0 || !Write(piece.get(), static_cast<size_t>(got))) return false;
    offset += got;
    size -= static_cast<size_t>(got);
  }
  return true;
}

}  // namespace xg
