#include "system/signals.h"

#include <pthread.h>
#include <unistd.h>

#include <csignal>
#include <initializer_list>

namespace quarnel {
namespace {

extern "C" void EndProcess(int signal) {
  _exit(128 + signal);
}

}  // namespace

sigset_t TerminationSignals() {
  sigset_t set;
  sigemptyset(&set);
  for (const int signal : {SIGHUP, SIGINT, SIGQUIT, SIGTERM, SIGALRM, SIGVTALRM, SIGPROF, SIGUSR1,
                           SIGUSR2, SIGXCPU, SIGPOLL}) {
    sigaddset(&set, signal);
  }
#ifdef SIGSTKFLT
  sigaddset(&set, SIGSTKFLT);
#endif
#ifdef SIGPWR
  sigaddset(&set, SIGPWR);
#endif
  for (int signal = SIGRTMIN; signal <= SIGRTMAX; ++signal) sigaddset(&set, signal);
  return set;
}

sigset_t AsynchronousSignals() {
  sigset_t set;
  sigfillset(&set);
  for (const int synchronous : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGTRAP})
    sigdelset(&set, synchronous);
  return set;
}

void EndProcessOnTerminationSignals() {
  struct sigaction action {};
  action.sa_handler = EndProcess;
  action.sa_mask = TerminationSignals();
  for (int signal = 1; signal <= SIGRTMAX; ++signal) {
    if (sigismember(&action.sa_mask, signal) == 1) sigaction(signal, &action, nullptr);
  }
}

void IgnoreWriteFailureSignals() {
  std::signal(SIGXFSZ, SIG_IGN);
  std::signal(SIGPIPE, SIG_IGN);
}

SignalBlock::SignalBlock(const sigset_t& signals) {
  pthread_sigmask(SIG_BLOCK, &signals, &previous_);
}

SignalBlock::~SignalBlock() {
  pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
}

}  // namespace quarnel
