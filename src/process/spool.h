// Spool: the bytes of an answer, made before they can be sent (a count at the head of a document
// is only known once its rows are written). The bytes are held in memory up to a limit; beyond
// it they go to a temporary file in TMPDIR (else /tmp) that is unlinked from the moment it
// exists, so that nothing is left behind whatever ends the process. A head, set at any time,
// goes out before the appended bytes.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace xg {

class Spool {
 public:
  // Every byte in memory.
  Spool() : Spool(SIZE_MAX) {}
  // The text as the spool's bytes, in memory.
  Spool(std::string text);  // NOLINT(google-explicit-constructor): an answer may be a text
  // In memory up to `memory_limit` bytes (0: every byte goes to the file).
  explicit Spool(size_t memory_limit);
  ~Spool();
  Spool(Spool&& other) noexcept;
  Spool& operator=(Spool&& other) noexcept;
  Spool(const Spool&) = delete;
  Spool& operator=(const Spool&) = delete;

  void Append(const char* data, size_t size) {
    if (size > capacity_ - used_) {
      AppendSlow(data, size);
    } else if (size > 0) {  // an empty piece may come without any bytes to point to
      std::memcpy(buffer_.data() + used_, data, size);
      used_ += size;
    }
  }
  void Append(std::string_view text) { Append(text.data(), text.size()); }
  // Room for at least `size` more bytes at the end, to be written there and then kept with
  // Commit(n) (n <= size).
  char* Reserve(size_t size) {
    if (size > capacity_ - used_) MakeRoom(size);
    return buffer_.data() + used_;
  }
  void Commit(size_t size) { used_ += size; }

  void SetHead(std::string head) { head_ = std::move(head); }

  // The appended bytes (the head not included).
  uint64_t BodySize() const { return file_bytes_ + used_; }
  // The head and the appended bytes.
  uint64_t size() const { return head_.size() + BodySize(); }
  bool empty() const { return size() == 0; }
  // Whether bytes went to the temporary file.
  bool InFile() const { return fd_ >= 0; }

  // Writes every byte (head first) through the two writers, `write(data, size)` for bytes in
  // memory and `write_file(fd, offset, size)` for a range of the temporary file; stops at the
  // first that answers false. Answers whether every byte was written.
  template <class WriteBytes, class WriteFileRange>
  bool Send(WriteBytes write, WriteFileRange write_file) {
    if (!head_.empty() && !write(head_.data(), head_.size())) return false;
    if (fd_ >= 0) {
      if (!WriteBuffer()) return false;
      return file_bytes_ == 0 || write_file(fd_, off_t{0}, static_cast<size_t>(file_bytes_));
    }
    return used_ == 0 || write(buffer_.data(), used_);
  }

  // Writes what the buffer holds to the file (when there is one); raises EOSError when the file
  // cannot take it (a full disk), so that the answer can report it before anything is sent.
  void Flush();

  // Every byte as one text (for tests and small answers).
  std::string Text();

 private:
  void AppendSlow(const char* data, size_t size);
  // Makes room for `size` more bytes: grows the buffer while memory may hold them, otherwise
  // moves what it holds to the file.
  void MakeRoom(size_t size);
  void OpenFile();
  // The buffer's bytes to the file; false (errno set) when the file does not take them all.
  bool WriteBuffer();
  void Release();

  std::string head_;
  std::string buffer_;   // its size is the capacity; bytes [0, used_) hold data
  size_t capacity_ = 0;  // buffer_.size(), kept apart for the inline checks
  size_t used_ = 0;
  size_t memory_limit_;
  int fd_ = -1;
  uint64_t file_bytes_ = 0;
};

}  // namespace xg
