#pragma once

#include <QString>
#include <optional>

namespace corvane {

// A saved query's Jet SQL in the SQLite dialect the engine runs, through the same
// translation as the clients' own queries, so that a view made from it reads the same
// through the engine as the query did in Access. nullopt when the engine cannot read it.
std::optional<QString> TranslateSavedQuery(const QString& jetSql);

}  // namespace corvane
