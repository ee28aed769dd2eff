#include "cli/interrupts.h"

#include "host/atomic_write.h"

namespace lensfall::cli {

std::atomic<bool> stopRequested{false};

namespace {

void askToStop(int) { stopRequested = true; }

void removeTemporaryThenEnd(int signal) {
  host::removeTemporaryInProgress();
  ::signal(signal, SIG_DFL);
  raise(signal);
}

void askThenEnd(int signal) {
  if (!stopRequested.exchange(true)) return;
  removeTemporaryThenEnd(signal);
}

}  // namespace

void endOnStopSignals() {
  struct sigaction action {};
  action.sa_handler = removeTemporaryThenEnd;
  sigemptyset(&action.sa_mask);
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
    sigaction(signal, &action, nullptr);
  }
}

InterruptGuard::InterruptGuard(Second second) {
  stopRequested = false;
  struct sigaction action {};
  // Without SA_RESTART, a worker waiting for its next frame wakes up at once.
  action.sa_handler = second == Second::EndsProgram ? askThenEnd : askToStop;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, &previousInterrupt_);
  sigaction(SIGTERM, &action, &previousTerminate_);
}

InterruptGuard::~InterruptGuard() {
  sigaction(SIGTERM, &previousTerminate_, nullptr);
  sigaction(SIGINT, &previousInterrupt_, nullptr);
}

}  // namespace lensfall::cli
