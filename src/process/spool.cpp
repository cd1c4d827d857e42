#include "process/spool.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <utility>

#include "process/os_error.h"
#include "process/write_all.h"

namespace xg {
namespace {

// The smallest buffer, and the size of the writes to the file once the bytes go there.
constexpr size_t kChunkSize = 64 * 1024;

// The folder of the temporary file: TMPDIR when it names one, else /tmp.
std::string TemporaryFolder() {
  const char* folder = std::getenv("TMPDIR");
  return folder != nullptr && *folder != '\0' ? std::string(folder) : std::string("/tmp");
}

// A file that no name leads to, for reading and writing. Where the file system cannot make one
// without a name, it gets a unique name that is unlinked at once.
int OpenUnnamedFile() {
  const std::string folder = TemporaryFolder();
  int fd = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
  if (fd >= 0) return fd;
  if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) RaiseLastOsError();
  std::string name = folder + "/xmlgateway-spool-XXXXXX";
  fd = ::mkostemp(name.data(), O_CLOEXEC);
  if (fd < 0) RaiseLastOsError();
  ::unlink(name.c_str());
  return fd;
}

}  // namespace

Spool::Spool(std::string text)
    : buffer_(std::move(text)),
      capacity_(buffer_.size()),
      used_(capacity_),
      memory_limit_(SIZE_MAX) {}

Spool::Spool(size_t memory_limit) : memory_limit_(memory_limit) {}

Spool::~Spool() {
  Release();
}

Spool::Spool(Spool&& other) noexcept
    : head_(std::move(other.head_)),
      buffer_(std::move(other.buffer_)),
      capacity_(std::exchange(other.capacity_, 0)),
      used_(std::exchange(other.used_, 0)),
      memory_limit_(other.memory_limit_),
      fd_(std::exchange(other.fd_, -1)),
      file_bytes_(std::exchange(other.file_bytes_, 0)) {
  other.buffer_.clear();
}

Spool& Spool::operator=(Spool&& other) noexcept {
  if (this != &other) {
    Release();
    head_ = std::move(other.head_);
    buffer_ = std::move(other.buffer_);
    other.buffer_.clear();
    capacity_ = std::exchange(other.capacity_, 0);
    used_ = std::exchange(other.used_, 0);
    memory_limit_ = other.memory_limit_;
    fd_ = std::exchange(other.fd_, -1);
    file_bytes_ = std::exchange(other.file_bytes_, 0);
  }
  return *this;
}

void Spool::Release() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

void Spool::OpenFile() {
  fd_ = OpenUnnamedFile();
}

void Spool::MakeRoom(size_t size) {
  if (fd_ < 0) {
    const size_t needed = used_ + size;
    if (needed <= memory_limit_) {
      const size_t doubled = capacity_ > SIZE_MAX / 2 ? SIZE_MAX : capacity_ * 2;
      buffer_.resize(std::max(needed, std::min(memory_limit_, std::max(doubled, kChunkSize))));
      capacity_ = buffer_.size();
      return;
    }
    OpenFile();
  }
  Flush();
  if (size > capacity_) {
    buffer_.resize(std::max(size, kChunkSize));
    capacity_ = buffer_.size();
  }
}

void Spool::AppendSlow(const char* data, size_t size) {
  if (fd_ < 0 && used_ + size > memory_limit_) OpenFile();
  if (fd_ >= 0 && size >= std::max(capacity_, kChunkSize)) {
    // A large piece goes to the file as it is, after what the buffer holds.
    Flush();
    if (!WriteAll(fd_, data, size)) RaiseLastOsError();
    file_bytes_ += size;
    return;
  }
  MakeRoom(size);
  std::memcpy(buffer_.data() + used_, data, size);
  used_ += size;
}

bool Spool::WriteBuffer() {
  if (fd_ < 0 || used_ == 0) return true;
  errno = 0;
  if (!WriteAll(fd_, buffer_.data(), used_)) {
    if (errno == 0) errno = ENOSPC;  // a write that wrote nothing
    return false;
  }
  file_bytes_ += used_;
  used_ = 0;
  return true;
}

void Spool::Flush() {
  if (!WriteBuffer()) RaiseLastOsError();
}

std::string Spool::Text() {
  std::string text = head_;
  if (fd_ >= 0) {
    Flush();
    const size_t at = text.size();
    text.resize(at + static_cast<size_t>(file_bytes_));
    size_t done = 0;
    while (done < file_bytes_) {
      const ssize_t got =
          ::pread(fd_, text.data() + at + done, text.size() - at - done, static_cast<off_t>(done));
      if (got < 0 && errno == EINTR) continue;
      if (got <= 0) RaiseLastOsError();
      done += static_cast<size_t>(got);
    }
  }
  text.append(buffer_.data(), used_);
  return text;
}

}  // namespace xg
