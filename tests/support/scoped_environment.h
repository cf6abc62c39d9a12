#pragma once

#include <QByteArray>
#include <QtGlobal>

namespace corvane::test {

// Sets an environment variable for one scope (and the processes started in it) and puts
// the previous value back after, even when an assertion leaves the test early.
class ScopedEnvironment {
 public:
  ScopedEnvironment(const char* name, const QByteArray& value)
      : name_(name), previous_(qgetenv(name)) {
    qputenv(name, value);
  }
  ~ScopedEnvironment() { previous_.isNull() ? qunsetenv(name_) : qputenv(name_, previous_); }
  ScopedEnvironment(const ScopedEnvironment&) = delete;
  ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

 private:
  const char* name_;
  const QByteArray previous_;  // null when the variable was not set
};

}  // namespace corvane::test
