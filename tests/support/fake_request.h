// A request held in memory, for tests: a fixed set of variables, the body from a script of
// reads, and every write of the answer recorded separately.
#pragma once

#include <algorithm>
#include <cstring>
#include <deque>
#include <initializer_list>
#include <map>
#include <string>
#include <vector>

#include "host/request.h"

namespace xg::test {

class FakeRequest : public Request {
 public:
  // One scripted read: the bytes it delivers (at most the count asked for; the rest stays for
  // the next read), or a failure.
  struct ScriptedRead {
    std::string bytes;
    bool fails = false;
  };

  FakeRequest() = default;
  explicit FakeRequest(std::initializer_list<std::pair<const std::string, std::string>> variables,
                       std::string input = "")
      : variables(variables) {
    if (!input.empty()) reads.push_back({std::move(input)});
  }

  std::string Variable(const std::string& name) const override {
    auto it = variables.find(name);
    return it == variables.end() ? std::string() : it->second;
  }

  long Read(char* buffer, size_t count) override {
    ++read_calls;
    largest_read_asked = std::max(largest_read_asked, count);
    if (reads.empty()) return 0;
    ScriptedRead& next = reads.front();
    if (next.fails) {
      reads.pop_front();
      return -1;
    }
    const size_t n = std::min(count, next.bytes.size());
    std::memcpy(buffer, next.bytes.data(), n);
    next.bytes.erase(0, n);
    if (next.bytes.empty()) reads.pop_front();
    return static_cast<long>(n);
  }

  // Everything written, in order.
  std::string Output() const {
    std::string all;
    for (const std::string& w : writes) all += w;
    return all;
  }

  std::map<std::string, std::string> variables;
  std::deque<ScriptedRead> reads;
  bool fail_writes = false;
  std::vector<std::string> writes;
  int read_calls = 0;
  size_t largest_read_asked = 0;

 protected:
  bool WriteBytes(const char* data, size_t size) override {
    if (fail_writes) return false;
    writes.emplace_back(data, size);
    return true;
  }
};

}  // namespace xg::test
