#pragma once

#include <condition_variable>
#include <cstdint>
#include <exception>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#include "system/signals.h"

namespace quarnel {

namespace pipeline_detail {

// Starts up to `workers` threads running work(worker) with the asynchronous signals blocked.
// Threads the system cannot start are done without. The caller's signal mask is restored on
// every path.
template <typename Work>
void StartWorkers(std::vector<std::thread>& threads, int workers, Work& work) {
  const SignalBlock blocked(AsynchronousSignals());  // new threads inherit the mask
  try {
    for (int w = 0; w < workers; ++w) threads.emplace_back(work, w);
  } catch (const std::system_error&) {
    // Fewer workers (or none: the caller then works alone) rather than no run.
  }
}

}  // namespace pipeline_detail

// Runs produce(index, worker, result) for index = 0 ... count - 1 on `workers` threads and hands
// every result to commit(index, result) on the calling thread, strictly in index order. Workers
// run at most `window` indices ahead of the next commit, so at most `window` results wait at any
// time. The results live in `window` slots that are used again and again: produce fills the slot
// it is given (whatever an earlier index left there, memory included, it may reuse), and commit
// may take from it what it keeps. commit returns false to stop: nothing further is committed, and
// results already produced beyond that index are dropped. An exception thrown by produce or
// commit stops the workers and is rethrown here. With one worker everything runs on the calling
// thread, one index at a time with one result; so it does when no worker thread can be started.
// Workers run with the asynchronous signals blocked: signals such as an interrupt are taken by
// the calling thread.
template <typename Result, typename Produce, typename Commit>
void RunOrdered(std::int32_t count, int workers, std::int32_t window, Produce produce,
                Commit commit) {
  auto runOnCallingThread = [&] {
    Result result;
    for (std::int32_t i = 0; i < count; ++i) {
      produce(i, 0, result);
      if (!commit(i, result)) return;
    }
  };
  if (workers <= 1 || count <= 1) {
    runOnCallingThread();
    return;
  }

  struct Slot {
    Result result;
    std::exception_ptr error;
    bool ready = false;  // produced and not yet committed
  };
  std::mutex mutex;
  std::condition_variable produced;  // a slot was filled
  std::condition_variable space;     // a commit freed a slot, or the run stopped
  std::vector<Slot> slots(static_cast<std::size_t>(window));
  std::int32_t next = 0;       // the next index to hand to a worker
  std::int32_t committed = 0;  // every index below has been committed
  bool stop = false;

  auto work = [&](int worker) {
    for (;;) {
      std::int32_t index;
      {
        std::unique_lock lock(mutex);
        space.wait(lock, [&] { return stop || next >= count || next < committed + window; });
        if (stop || next >= count) return;
        index = next++;
      }
      // The slot is this worker's alone until it is marked ready: index - window is committed.
      Slot& slot = slots[static_cast<std::size_t>(index % window)];
      try {
        produce(index, worker, slot.result);
      } catch (...) {
        slot.error = std::current_exception();
      }
      {
        std::lock_guard lock(mutex);
        slot.ready = true;
      }
      produced.notify_all();
    }
  };

  std::vector<std::thread> threads;
  auto stopAndJoin = [&] {
    {
      std::lock_guard lock(mutex);
      stop = true;
    }
    space.notify_all();
    for (std::thread& thread : threads) {
      if (thread.joinable()) thread.join();
    }
  };

  try {
    threads.reserve(static_cast<std::size_t>(workers));
    pipeline_detail::StartWorkers(threads, workers, work);
    if (threads.empty()) {
      runOnCallingThread();
      return;
    }
    for (std::int32_t i = 0; i < count; ++i) {
      Slot& slot = slots[static_cast<std::size_t>(i % window)];
      {
        std::unique_lock lock(mutex);
        produced.wait(lock, [&] { return slot.ready; });
      }
      if (slot.error) std::rethrow_exception(slot.error);
      const bool goOn = commit(i, slot.result);
      {
        std::lock_guard lock(mutex);
        slot.ready = false;
        committed = i + 1;
      }
      space.notify_all();
      if (!goOn) break;
    }
  } catch (...) {
    stopAndJoin();
    throw;
  }
  stopAndJoin();
}

}  // namespace quarnel
