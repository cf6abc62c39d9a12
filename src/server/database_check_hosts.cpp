#include "server/database_check_hosts.h"

#include <QEventLoop>
#include <condition_variable>
#include <memory>
#include <mutex>

namespace corvane {

void WorkerCheckWork::RunAside(const std::function<void()>& work) {
  struct Finish {
    std::mutex mutex;
    std::condition_variable done;
    bool finished = false;
  };
  auto finish = std::make_shared<Finish>();
  QEventLoop loop;
  start_([&work, &loop, finish] {
    work();
    // The loop is told before the finish is marked: until then this thread keeps it alive.
    // By name, as the slots' results are: nothing of ours crosses the threads inside Qt.
    QMetaObject::invokeMethod(&loop, "quit", Qt::QueuedConnection);
    const std::lock_guard lock(finish->mutex);
    finish->finished = true;
    finish->done.notify_all();
  });
  loop.exec();
  // The loop also ends when the program is asked to quit; the work still uses what this
  // call holds, so it is waited for.
  std::unique_lock lock(finish->mutex);
  finish->done.wait(lock, [&] { return finish->finished; });
}

}  // namespace corvane
