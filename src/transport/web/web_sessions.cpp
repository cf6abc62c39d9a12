#include "transport/web/web_sessions.h"

#include <QRandomGenerator>
#include <algorithm>

namespace corvane {
namespace {

constexpr int kTokenWords = 8;
// Addresses whose wait ended this long ago are forgotten once the table grows.
constexpr qint64 kForgetAfterMs = 10 * 60 * 1000;
constexpr qsizetype kPruneFrom = 1000;

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

LogonThrottle::LogonThrottle(std::function<qint64()> nowMs) : nowMs_(std::move(nowMs)) {}

qint64 LogonThrottle::WaitMs(const QString& address) const {
  const auto it = entries_.constFind(address);
  if (it == entries_.constEnd()) return 0;
  return std::max<qint64>(0, it->allowedAtMs - nowMs_());
}

void LogonThrottle::Failed(const QString& address) {
  const qint64 now = nowMs_();
  Prune(now);
  Entry& entry = entries_[address];
  entry.failures = std::min(entry.failures + 1, 30);
  qint64 delay = kFirstDelayMs;
  for (int i = 1; i < entry.failures && delay < kLongestDelayMs; ++i) delay *= 2;
  entry.allowedAtMs = now + std::min(delay, kLongestDelayMs);
}

void LogonThrottle::Succeeded(const QString& address) { entries_.remove(address); }

void LogonThrottle::Prune(qint64 now) {
  if (entries_.size() < kPruneFrom) return;
  entries_.removeIf(
      [now](const auto& it) { return it.value().allowedAtMs + kForgetAfterMs < now; });
}

}  // namespace corvane
