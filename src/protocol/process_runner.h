#pragma once
// Runs a helper program (office suite, print spooler, desktop opener) with a
// time limit and collects what it printed.

#include <string>
#include <vector>

namespace librato {

struct ProcessResult {
  bool started = false;
  int startErrno = 0;     // why it did not start (ENOENT: program not installed)
  bool timedOut = false;  // killed at the time limit
  int exitCode = -1;      // -1 when ended by a signal
  std::string out, err;
  bool succeeded() const { return started && !timedOut && exitCode == 0; }
};

// argv[0] is looked up in PATH. The program gets its own process group, so a
// time-out ends it together with its children. When `kill_on_timeout` is
// false a program still running at the limit is left to finish on its own.
ProcessResult RunProcess(const std::vector<std::string>& argv, int timeout_ms,
                         bool kill_on_timeout = true);

}  // namespace librato
