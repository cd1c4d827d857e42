// An Env for unit tests: a fixed set of variables, standard input from a script of reads, and
// every write to standard output recorded separately.
#pragma once

#include <algorithm>
#include <cstring>
#include <deque>
#include <initializer_list>
#include <map>
#include <string>
#include <vector>

#include "host/env.h"

namespace xg::test {

class FakeEnv : public Env {
 public:
  // One scripted read: the bytes it delivers (at most the count asked for; the rest stays for
  // the next read), or a failure.
  struct Read {
    std::string bytes;
    bool fails = false;
  };

  FakeEnv() = default;
  explicit FakeEnv(std::initializer_list<std::pair<const std::string, std::string>> variables,
                   std::string input = "")
      : variables(variables) {
    if (!input.empty()) reads.push_back({std::move(input)});
  }

  std::string GetVariable(const std::string& name) const override {
    auto it = variables.find(name);
    return it == variables.end() ? std::string() : it->second;
  }

  long ReadInput(char* buffer, size_t count) override {
    ++read_calls;
    largest_read_asked = std::max(largest_read_asked, count);
    if (reads.empty()) return 0;
    Read& next = reads.front();
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

  long WriteOutput(const char* buffer, size_t count) override {
    if (fail_writes) return -1;
    writes.emplace_back(buffer, count);
    return static_cast<long>(count);
  }

  // Everything written, in order.
  std::string Output() const {
    std::string all;
    for (const std::string& w : writes) all += w;
    return all;
  }

  std::map<std::string, std::string> variables;
  std::deque<Read> reads;
  bool fail_writes = false;
  std::vector<std::string> writes;
  int read_calls = 0;
  size_t largest_read_asked = 0;
};

}  // namespace xg::test
