#include "server/posted_calls.h"

namespace corvane {

void PostedCalls::Post(std::function<void()> call) {
  {
    const std::lock_guard lock(mutex_);
    calls_.push_back(std::move(call));
  }
  QMetaObject::invokeMethod(this, "RunNext", Qt::QueuedConnection);
}

void PostedCalls::RunNext() {
  std::function<void()> call;
  {
    const std::lock_guard lock(mutex_);
    if (calls_.empty()) return;
    call = std::move(calls_.front());
    calls_.pop_front();
  }
  // A call may open a modal window, whose event loop runs the calls after it.
  call();
}

}  // namespace corvane
