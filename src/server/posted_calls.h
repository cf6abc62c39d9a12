#pragma once

#include <QObject>
#include <deque>
#include <functional>
#include <mutex>

namespace corvane {

// Runs, on the thread this object belongs to, the calls that any thread posts, one event
// each and in the order they were posted. What a call carries crosses the threads under a
// std::mutex, which ThreadSanitizer sees (Qt's own locks it does not); Qt is only asked, by
// name, to run the next call. Calls still waiting when the object goes are dropped.
class PostedCalls : public QObject {
  Q_OBJECT

 public:
  using QObject::QObject;

  void Post(std::function<void()> call);

 private Q_SLOTS:
  void RunNext();

 private:
  std::mutex mutex_;
  std::deque<std::function<void()>> calls_;
};

}  // namespace corvane
