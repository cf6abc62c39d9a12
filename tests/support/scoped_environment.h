#pragma once

#include <QByteArray>
#include <QtGlobal>

namespace corvane::test {

// Sets an environment variable for one scope (and the processes started in it) and puts
// the previous value back after, even when an assertion leaves the test early. `changed`
// runs after each change, for what reads the variable once (tzset for TZ).
class ScopedEnvironment {
 public:
  ScopedEnvironment(const char* name, const QByteArray& value, void (*changed)() = nullptr)
      : name_(name), previous_(qgetenv(name)), changed_(changed) {
    qputenv(name, value);
    if (changed_) changed_();
  }
  ~ScopedEnvironment() {
    previous_.isNull() ? qunsetenv(name_) : qputenv(name_, previous_);
    if (changed_) changed_();
  }
  ScopedEnvironment(const ScopedEnvironment&) = delete;
  ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

 private:
  const char* name_;
  const QByteArray previous_;  // null when the variable was not set
  void (*const changed_)();
};

}  // namespace corvane::test
