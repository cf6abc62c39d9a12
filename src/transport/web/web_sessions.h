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

}  // namespace corvane
