// Runs a program as a child process with a given environment and standard input, and collects
// what it writes, how it ended and how much memory it used at its peak.
#pragma once

#include <sys/types.h>

#include <functional>
#include <string>
#include <vector>

namespace xg::test {

struct ChildResult {
  std::string out;
  std::string err;
  int exit_code = -1;        // -1 when the child did not exit normally
  int signal = 0;            // the signal that ended it, 0 when it exited
  bool timed_out = false;    // killed because it did not finish within the limit
  long max_rss_kb = 0;       // peak resident set size of the child
  bool signal_sent = false;  // the ChildControl's signal went out before the child ended
  double seconds_from_signal_to_end = 0;  // from sending it to the child's exit
  // From the moment the child had installed its handler for the watched signal (see ChildControl)
  // to its exit: the span that `signal_delay_ms` counts in. 0 when no handler was watched or seen.
  double seconds_from_handler_to_end = 0;
};

// What the test does to the child while it runs.
struct ChildControl {
  // Standard descriptors (0, 1, 2) the child starts with closed instead of a pipe.
  std::vector<int> closed_descriptors;
  // A signal sent to the child: `signal_delay_ms` after the child has installed a handler for it,
  // or, when set, once `signal_after_output` bytes of standard output have arrived, or once
  // standard output holds `signal_after_text`. Not sent when the child ends first.
  int signal = 0;
  int signal_delay_ms = 0;
  size_t signal_after_output = 0;
  std::string signal_after_text;
  // When set, the signal goes out once this returns true (asked every few milliseconds after the
  // child has installed its handler): a moment defined by an event, such as a statement seen
  // running, instead of a delay.
  std::function<bool(pid_t child)> signal_when;
  // With no `signal`: a signal whose handler, once the child has installed it, starts the clock
  // of `seconds_from_handler_to_end` (a run that measures what a later run's delays count in).
  int timed_from_handler_of = 0;
  // Once the signal is sent, standard output is no longer read (but stays open), as a web server
  // whose client went away stops reading.
  bool stop_reading_at_signal = false;
};

struct ChildLimits {
  int seconds = 60;           // guards against a hanging child; not a measurement
  long address_space_mb = 0;  // the child's address-space limit; 0 for none
};

// `environment` holds "NAME=value" entries and is the child's whole environment, apart from the
// test process's own sanitizer settings (ASAN_OPTIONS, LSAN_OPTIONS, UBSAN_OPTIONS), which are
// added for each of them it does not name. The input is written to the child's standard input,
// which is then closed.
ChildResult RunChild(const std::string& program, const std::vector<std::string>& environment,
                     const std::string& input, const ChildLimits& limits = {},
                     const ChildControl& control = {});

}  // namespace xg::test
