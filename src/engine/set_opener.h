#pragma once

#include <QString>
#include <memory>

#include "engine/recordset.h"

namespace corvane {

class Connection;

// Opens a dynaset over a table or stored query of the connection's database (by name,
// any case) or over the client's Jet SQL text; throws 3078 for an unknown name.
std::unique_ptr<Recordset> OpenSet(const std::shared_ptr<Connection>& connection,
                                   const QString& source);

// Opens a dynaset over a SELECT in SQLite's dialect, confined to reading, named `name`.
// Writable when each of its rows is a row of one table with a rowid.
std::unique_ptr<Recordset> OpenQuerySet(const std::shared_ptr<Connection>& connection,
                                        const QString& sqliteSql, const QString& name);

// Whether a text is SQL rather than a table or query name.
bool LooksLikeSql(const QString& text);

}  // namespace corvane
