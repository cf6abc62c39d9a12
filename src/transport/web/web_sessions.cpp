#include "transport/web/web_sessions.h"

#include <QRandomGenerator>

namespace corvane {
namespace {

constexpr int kTokenWords = 8;

}  // namespace

QString WebSessionTable::Create(int slot, std::shared_ptr<WebConnection> connection) {
  QString token;
  do {
    token.clear();
    for (int i = 0; i < kTokenWords; ++i) {
      token +=
          QStringLiteral("%1").arg(QRandomGenerator::system()->generate(), 8, 16, QLatin1Char('0'));
    }
  } while (sessions_.contains(token));
  sessions_.insert(token, WebSession{slot, std::move(connection)});
  return token;
}

std::optional<WebSession> WebSessionTable::Find(const QString& token) const {
  const auto it = sessions_.constFind(token);
  if (it == sessions_.constEnd()) return std::nullopt;
  return *it;
}

void WebSessionTable::Remove(const QString& token) { sessions_.remove(token); }

void WebSessionTable::RemoveIf(const std::function<bool(const WebSession&)>& gone) {
  sessions_.removeIf([&](const auto& it) { return gone(it.value()); });
}

}  // namespace corvane
