#include "server/worker_pool.h"

#include <sys/resource.h>
#include <unistd.h>

#include <chrono>

namespace corvane {

WorkerPool::WorkerPool(int threads, int nice) {
  threads_.reserve(static_cast<size_t>(threads));
  for (int i = 0; i < threads; ++i) threads_.emplace_back([this, nice] { Work(nice); });
}

WorkerPool::~WorkerPool() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
    queue_.clear();
  }
  queued_.notify_all();
  for (std::thread& thread : threads_) thread.join();
}

void WorkerPool::Start(std::function<void()> work) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    queue_.push_back(std::move(work));
  }
  queued_.notify_one();
}

bool WorkerPool::WaitForDone(int ms) {
  std::unique_lock<std::mutex> lock(mutex_);
  return idle_.wait_for(lock, std::chrono::milliseconds(ms),
                        [this] { return queue_.empty() && running_ == 0; });
}

void WorkerPool::Work(int nice) {
  // On Linux a thread's own id names it alone, so only this thread gets the priority.
  if (nice > 0) ::setpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()), nice);
  std::unique_lock<std::mutex> lock(mutex_);
  while (true) {
    queued_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
    if (stopping_) return;
    std::function<void()> work = std::move(queue_.front());
    queue_.pop_front();
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
