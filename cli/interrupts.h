// Ctrl-C while frames render: the first asks the module to stop through its
// progress monitor, so nothing half-done is written. SIGTERM counts as
// Ctrl-C: it is what a workload manager sends a task it cancels or pre-empts
// (SIGKILL follows only some seconds later).
#pragma once

#include <signal.h>

#include <atomic>

namespace lensfall::cli {

// Set by SIGINT or SIGTERM while an InterruptGuard is in place; the host's
// monitor reads it after every row and asks the module to stop.
extern std::atomic<bool> stopRequested;

class InterruptGuard {
 public:
  enum class Second {
    // A second Ctrl-C ends the program at once, after removing the
    // temporary file it may be writing.
    EndsProgram,
    // Every Ctrl-C only asks to stop. For worker processes: from a
    // terminal they get each Ctrl-C twice, from the terminal and from their
    // parent, and it is the parent that ends them.
    AsksAgain,
  };
  explicit InterruptGuard(Second second);
  ~InterruptGuard();
  InterruptGuard(const InterruptGuard &) = delete;
  InterruptGuard &operator=(const InterruptGuard &) = delete;

 private:
  struct sigaction previousInterrupt_ {};
  struct sigaction previousTerminate_ {};
};

// For a program that has nothing to finish when it is stopped (the settings
// page's server): Ctrl-C, a kill or a closed terminal that lands while a
// file is being written removes its temporary, then ends the program as the
// signal would.
void endOnStopSignals();

}  // namespace lensfall::cli
