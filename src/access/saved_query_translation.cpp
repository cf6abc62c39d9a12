#include "access/saved_query_translation.h"

#include "engine/engine_error.h"
#include "engine/jet_sql.h"

namespace corvane {

std::optional<QString> TranslateSavedQuery(const QString& jetSql) {
  try {
    QString sql = TranslateJetSql(jetSql).trimmed();
    // A view holds one statement: CREATE VIEW refuses the terminator Access may keep.
    while (sql.endsWith(QLatin1Char(';'))) sql = sql.chopped(1).trimmed();
    if (sql.isEmpty()) return std::nullopt;
    return sql;
  } catch (const EngineError&) {
    return std::nullopt;
  }
}

}  // namespace corvane
