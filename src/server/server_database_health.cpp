#include "server/server_database_health.h"

namespace corvane {

void ServerDatabaseHealth::Report(const QString& location, bool answered, const QString& message) {
  const QString key = location.trimmed();
  if (answered) {
    if (!down_.remove(key)) return;
    activity_.LogNote(QStringLiteral("Server database %1 answers again").arg(nameOf_(key)));
    return;
  }
  if (down_.contains(key)) return;
  down_.insert(key);
  activity_.LogNote(
      QStringLiteral("Server database %1 does not answer: %2").arg(nameOf_(key), message));
}

}  // namespace corvane
