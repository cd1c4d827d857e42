// Writing a whole buffer to a file descriptor: the one write loop of the program, used by the
// answer of a request, the failure pages and the texts the fault handler writes. It calls only
// write(2), so it is async-signal-safe.
#pragma once

#include <cstddef>

namespace xg {

// Writes `size` bytes of `data` to `fd`, continuing after a partial write and after a write that
// a signal interrupted before it wrote anything. Stops early when a write fails or writes
// nothing, or when `stop` (if given; it must be async-signal-safe too) answers true before a
// write. Answers whether every byte was written.
bool WriteAll(int fd, const char* data, size_t size, bool (*stop)() = nullptr);

}  // namespace xg
