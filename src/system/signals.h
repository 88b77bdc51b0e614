#pragma once

// The process's signals: which ones end a run, the handlers that end it, and holding signals
// back in a thread for a while.

#include <signal.h>

namespace quarnel {

// The asynchronous signals whose default action ends the process and that can be caught: hang-up,
// interrupt, quit, termination, the alarms, the user and real-time signals, the CPU-time limit
// and the like. Not among them: the faults of the process's own instructions (SIGSEGV, SIGBUS,
// SIGFPE, SIGILL, SIGTRAP, SIGSYS), SIGABRT, which the process raises on itself, and the signals
// of failed writes (SIGPIPE, SIGXFSZ), which IgnoreWriteFailureSignals ignores so that the write
// reports the failure. A program that ends its run on these signals (and on no others) from a
// handler never leaves a temporary file of WriteFileAtomically behind.
sigset_t TerminationSignals();

// Every signal but those of the process's own faults (SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGTRAP),
// which must reach the thread that caused them.
sigset_t AsynchronousSignals();

// Makes each of TerminationSignals() end the process at once with the conventional status
// 128 + signal, the others held back while its handler runs.
void EndProcessOnTerminationSignals();

// Ignores SIGXFSZ and SIGPIPE: past a file-size limit, and on a pipe whose reader is gone, a write
// then fails with an error instead of ending the process.
void IgnoreWriteFailureSignals();

// Holds back `signals` in the calling thread while it lives: one that arrives meanwhile is
// delivered when the guard is destroyed, which restores the thread's mask of before on every
// path. Threads started meanwhile inherit the mask.
class SignalBlock {
 public:
  explicit SignalBlock(const sigset_t& signals);
  ~SignalBlock();
  SignalBlock(const SignalBlock&) = delete;
  SignalBlock& operator=(const SignalBlock&) = delete;

 private:
  sigset_t previous_;
};

}  // namespace quarnel
