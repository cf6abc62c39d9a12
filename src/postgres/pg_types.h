#pragma once

#include <QByteArray>
#include <QString>

#include "engine/field_type.h"
#include "engine/variant.h"
#include "postgres/pg_connection.h"

namespace corvane {

// A column of a server database's table or view, as the catalogue describes it.
struct PgColumn {
  QString name;
  QString type;  // format_type(): "integer", "character varying(40)", "numeric(19,4)", ...
  bool notNull = false;
  bool hasDefault = false;
  bool identity = false;  // an identity column, or a serial one (its default is nextval)
};

// The field a column is for clients: integers, numeric(19,4) and money as Currency, real and
// double, boolean as Yes/No, dates and timestamps as Date/Time, varchar(n) as Text(n), text
// as Memo, bytea as binary, uuid as GUID; identity and serial columns as auto-numbers. Any
// other type is read as Memo text.
FieldInfo PgField(const PgColumn& column, const QString& table);

// A value as PostgreSQL sends it in text form, as the engine's Variant (before ShownValue).
Variant PgValue(FieldType type, const PgParam& text);

// A value stored by StoredValue, in PostgreSQL's text form for a parameter.
PgParam PgText(FieldType type, const Variant& stored);

}  // namespace corvane
