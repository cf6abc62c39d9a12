#pragma once

#include <QHash>
#include <QString>
#include <functional>
#include <memory>
#include <optional>

#include "transport/web/web_connection.h"

namespace corvane {

// The browser sessions: a random token (the cookie's value) for each slot connection a
// browser logged on with.
struct WebSession {
  int slot = -1;
  // The slot's transport while the browser holds it.
  std::shared_ptr<WebConnection> connection;
};

class WebSessionTable {
 public:
  // A new token of 64 hexadecimal digits from the system's random source.
  QString Create(int slot, std::shared_ptr<WebConnection> connection);
  std::optional<WebSession> Find(const QString& token) const;
  void Remove(const QString& token);
  // Removes every session for which `gone` is true.
  void RemoveIf(const std::function<bool(const WebSession&)>& gone);
  qsizetype size() const { return sessions_.size(); }

 private:
  QHash<QString, WebSession> sessions_;
};

// Failed logons per address: after each failure the address must wait longer before it may
// try again (1 s, 2 s, 4 s, ... up to a minute). An accepted logon clears its count.
class LogonThrottle {
 public:
  // `nowMs` is the clock in milliseconds (tests pass their own).
  explicit LogonThrottle(std::function<qint64()> nowMs);

  // Milliseconds the address must still wait; 0 when it may try now.
  qint64 WaitMs(const QString& address) const;
  void Failed(const QString& address);
  void Succeeded(const QString& address);

  static constexpr qint64 kFirstDelayMs = 1000;
  static constexpr qint64 kLongestDelayMs = 60000;

 private:
  struct Entry {
    int failures = 0;
    qint64 allowedAtMs = 0;
  };
  void Prune(qint64 now);

  std::function<qint64()> nowMs_;
  QHash<QString, Entry> entries_;
};

}  // namespace corvane
