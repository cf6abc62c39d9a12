#include "server/worker_pool.h"

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>

namespace corvane {

WorkerPool::WorkerPool(int threads, int nice, int mostThreads)
    : nice_(nice), mostThreads_(static_cast<size_t>(std::max(threads, mostThreads))) {
  threads_.reserve(mostThreads_);
  for (int i = 0; i < threads; ++i) AddThread();
}

WorkerPool::~WorkerPool() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
    queue_.clear();
    waiting_.store(0, std::memory_order_relaxed);
  }
  queued_.notify_all();
  for (std::thread& thread : threads_) thread.join();
}

void WorkerPool::AddThread() {
  threads_.emplace_back([this] { Work(); });
}

void WorkerPool::Start(std::function<void()> work) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    queue_.push_back(std::move(work));
    waiting_.store(static_cast<int>(queue_.size()), std::memory_order_relaxed);
    // Every piece of work waiting needs a thread that is not running any.
    if (queue_.size() > threads_.size() - running_ && threads_.size() < mostThreads_) {
      AddThread();
    }
  }
  queued_.notify_one();
}

bool WorkerPool::WaitForDone(int ms) {
  std::unique_lock<std::mutex> lock(mutex_);
  return idle_.wait_for(lock, std::chrono::milliseconds(ms),
                        [this] { return queue_.empty() && running_ == 0; });
}

void WorkerPool::Work() {
  // On Linux a thread's own id names it alone, so only this thread gets the priority.
  if (nice_ > 0) ::setpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()), nice_);
  std::unique_lock<std::mutex> lock(mutex_);
  while (true) {
    queued_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
    if (stopping_) return;
    std::function<void()> work = std::move(queue_.front());
    queue_.pop_front();
    waiting_.store(static_cast<int>(queue_.size()), std::memory_order_relaxed);
    ++running_;
    lock.unlock();
    work();
    // The work's own state goes before the pool counts it done.
    work = nullptr;
    lock.lock();
    --running_;
    if (queue_.empty() && running_ == 0) idle_.notify_all();
  }
}

}  // namespace corvane
