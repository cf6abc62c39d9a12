#pragma once

#include <QString>

#include "access/access_file.h"
#include "postgres/pg_connection.h"

namespace corvane {

// A value read from an Access column as a PostgreSQL parameter in text form for the
// column's imported type; nullopt for Null. False with *error for a value PostgreSQL
// cannot hold: a text with the character U+0000, a Date/Time without a calendar date.
bool ImportParam(AccessType type, const AccessValue& value, PgParam* param, QString* error);

}  // namespace corvane
