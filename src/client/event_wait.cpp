#include "client/event_wait.h"

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QTimer>

namespace corvane {

bool WaitUntil(const std::function<bool()>& done, int timeoutMs) {
  if (done()) return true;
  QDeadlineTimer deadline(timeoutMs);
  bool finished = false;
  QEventLoop loop;
  QTimer poll;
  poll.setInterval(2);
  QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
    finished = done();
    if (finished || deadline.hasExpired()) loop.quit();
  });
  poll.start();
  loop.exec();
  return finished;
}

}  // namespace corvane
