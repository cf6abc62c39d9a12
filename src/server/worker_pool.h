#pragma once

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace corvane {

// Worker threads taking work from one queue, first in first out. The queue is the only
// thing they share with the thread that hands them work.
class WorkerPool {
 public:
  // Starts `threads` threads; while work waits and none is free, one more is started, up to
  // `mostThreads` (never fewer than `threads`). `nice` above 0 runs the threads at a lower
  // priority than the rest of the process.
  explicit WorkerPool(int threads, int nice = 0, int mostThreads = 0);
  // Waits for the running work; work still queued is dropped.
  ~WorkerPool();
  WorkerPool(const WorkerPool&) = delete;
  WorkerPool& operator=(const WorkerPool&) = delete;

  // Only the thread that owns the pool hands it work.
  void Start(std::function<void()> work);
  // Waits at most `ms` until nothing is queued or running; false when something still is.
  bool WaitForDone(int ms);
  // Work queued that no thread has taken up yet; read without the lock, for monitoring.
  int Waiting() const { return waiting_.load(std::memory_order_relaxed); }

 private:
  void AddThread();
  void Work();

  const int nice_;
  const size_t mostThreads_;
  std::mutex mutex_;
  std::condition_variable queued_;
  std::condition_variable idle_;
  std::deque<std::function<void()>> queue_;
  size_t running_ = 0;
  // The queue's length, kept beside it under the lock.
  std::atomic<int> waiting_{0};
  bool stopping_ = false;
  std::vector<std::thread> threads_;
};

}  // namespace corvane
