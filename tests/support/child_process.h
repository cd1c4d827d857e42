// Runs a program as a child process with a given environment and standard input, and collects
// what it writes, how it ended and how much memory it used at its peak.
#pragma once

#include <string>
#include <vector>

namespace xg::test {

struct ChildResult {
  std::string out;
  std::string err;
  int exit_code = -1;      // -1 when the child did not exit normally
  int signal = 0;          // the signal that ended it, 0 when it exited
  bool timed_out = false;  // killed because it did not finish within the limit
  long max_rss_kb = 0;     // peak resident set size of the child
};

struct ChildLimits {
  int seconds = 60;           // guards against a hanging child; not a measurement
  long address_space_mb = 0;  // the child's address-space limit; 0 for none
};

// `environment` holds "NAME=value" entries and is the child's whole environment. The input is
// written to the child's standard input, which is then closed.
ChildResult RunChild(const std::string& program, const std::vector<std::string>& environment,
                     const std::string& input, const ChildLimits& limits = {});

}  // namespace xg::test
