// The answer spool: the same bytes whether it keeps them in memory or in its temporary file,
// written out as the head, the bytes in memory and a range of the file.
#include "process/spool.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

namespace xg {
namespace {

// TMPDIR pointed at an empty folder of the test's own while it lives.
class ScopedTemporaryFolder {
 public:
  ScopedTemporaryFolder()
      : path_(std::filesystem::temp_directory_path() /
              ("xg-spool-test-" + std::to_string(getpid()))) {
    std::filesystem::create_directories(path_);
    const char* before = std::getenv("TMPDIR");
    if (before) before_ = before;
    setenv("TMPDIR", path_.c_str(), 1);
  }
  ~ScopedTemporaryFolder() {
    if (before_.empty()) {
      unsetenv("TMPDIR");
    } else {
      setenv("TMPDIR", before_.c_str(), 1);
    }
    std::filesystem::remove_all(path_);
  }
  bool Empty() const { return std::filesystem::is_empty(path_); }

 private:
  std::filesystem::path path_;
  std::string before_;
};

// What Send writes: "M:" before bytes from memory, "F:" before bytes of the file.
std::string Sent(Spool& spool) {
  std::string sent;
  const bool all = spool.Send(
      [&](const char* data, size_t size) {
        sent.append("M:").append(data, size);
        return true;
      },
      [&](int fd, off_t offset, size_t size) {
        std::string bytes(size, '\0');
        EXPECT_EQ(pread(fd, bytes.data(), size, offset), static_cast<ssize_t>(size));
        sent.append("F:").append(bytes);
        return true;
      });
  EXPECT_TRUE(all);
  return sent;
}

TEST(Spool, TheSameBytesInMemoryAndInTheFile) {
  const ScopedTemporaryFolder folder;
  // Small pieces, a piece larger than the buffer, a single byte and reserved room.
  const std::string large(200 * 1024, 'L');
  auto fill = [&](Spool& spool) {
    for (int i = 0; i < 1000; ++i) spool.Append("<row" + std::to_string(i) + ">\r\n");
    spool.Append(large);
    spool.Append("!");
    char* at = spool.Reserve(3);
    at[0] = 'a';
    at[1] = 'b';
    spool.Commit(2);
  };
  Spool in_memory;
  fill(in_memory);
  const std::string expected = in_memory.Text();
  ASSERT_EQ(expected.size(), in_memory.size());
  EXPECT_FALSE(in_memory.InFile());
  EXPECT_TRUE(expected.ends_with("L!ab"));

  struct Case {
    size_t memory_limit;
    bool in_file;
  } cases[] = {{0, true}, {100, true}, {64 * 1024, true}, {expected.size() + 1, false}};
  for (const Case& c : cases) {
    Spool spool(c.memory_limit);
    fill(spool);
    EXPECT_EQ(spool.InFile(), c.in_file) << c.memory_limit;
    EXPECT_EQ(spool.size(), expected.size()) << c.memory_limit;
    EXPECT_TRUE(spool.Text() == expected) << c.memory_limit;
    // The head goes first; then the bytes come from the file, or from memory, never both.
    spool.SetHead("HEAD");
    EXPECT_EQ(spool.size(), expected.size() + 4);
    EXPECT_TRUE(Sent(spool) == "M:HEAD" + std::string(c.in_file ? "F:" : "M:") + expected)
        << c.memory_limit;
    // A spool moved away keeps its file; the one left behind is empty.
    Spool moved = std::move(spool);
    EXPECT_TRUE(spool.empty());
    EXPECT_TRUE(moved.Text() == "HEAD" + expected);
  }
  // The files had no name in the folder at any time, and are gone.
  EXPECT_TRUE(folder.Empty());
}

TEST(Spool, ATextIsAnAnswerInMemory) {
  Spool spool(std::string("<doc/>\r\n"));
  EXPECT_EQ(spool.size(), 8u);
  EXPECT_EQ(Sent(spool), "M:<doc/>\r\n");
  Spool empty(std::string{});
  EXPECT_TRUE(empty.empty());
  EXPECT_EQ(Sent(empty), "");
}

}  // namespace
}  // namespace xg
