#pragma once

#include <QHash>
#include <QSet>
#include <QString>
#include <vector>

#include "engine/field_type.h"
#include "postgres/pg_connection.h"
#include "postgres/pg_jet_sql.h"

namespace corvane {

// The names a client's Jet SQL may use, in any case, with the catalogue's spelling; and
// which of them are columns of text.
struct PgNames {
  QHash<QString, QString> spelled;  // lower case -> as the catalogue spells it
  QSet<QString> textColumns;        // as spelled
  void Add(const QString& name, bool text = false);
  JetPgTarget Target() const;
};

// The tables, views and columns of the connection's search path.
PgNames CatalogueNames(PgConnection& connection);
// The fields of a set, and the table or query they come from.
PgNames FieldNames(const std::vector<FieldInfo>& fields, const QString& relation);

// A client's query in PostgreSQL's dialect, with its values as parameters.
struct PgQuery {
  QString sql;
  std::vector<PgParam> params;
};

// The client's Jet SELECT for PostgreSQL (semicolons at its end left out); 3027 for any
// other statement, 3075 for a text that cannot be read or is too long. With a connection
// its values are quoted literals instead of parameters, for a view.
PgQuery TranslateClientSelect(const QString& jet, const PgNames& names,
                              const PgConnection* quoting = nullptr);

}  // namespace corvane
