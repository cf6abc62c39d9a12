#pragma once

#include <QLocale>

namespace corvane::test {

// Makes `locale` Qt's default locale for one scope and restores the previous one after,
// even when an assertion leaves the test early.
class ScopedDefaultLocale {
 public:
  explicit ScopedDefaultLocale(const QLocale& locale) { QLocale::setDefault(locale); }
  ~ScopedDefaultLocale() { QLocale::setDefault(previous_); }
  ScopedDefaultLocale(const ScopedDefaultLocale&) = delete;
  ScopedDefaultLocale& operator=(const ScopedDefaultLocale&) = delete;

 private:
  const QLocale previous_;  // initialised before the constructor's body changes the default
};

}  // namespace corvane::test
