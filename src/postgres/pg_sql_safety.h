#pragma once

#include <QString>

namespace corvane {

// Whether a client's SQL for PostgreSQL may write `name(` (any case) as it stands: the
// words of SQL's own grammar that take parentheses (IN, EXISTS, CAST, COALESCE, ...) and
// the built-in functions that only compute a value from their arguments (text, numbers,
// dates, aggregates, window functions). Everything else is refused, whatever its
// privileges: nextval and set_config change state that outlives the statement, lo_*
// write even in a READ ONLY transaction, pg_terminate_backend and pg_sleep reach the
// server's other sessions, and the database's own functions were written for its owner.
bool IsSafePgCall(const QString& name);

}  // namespace corvane
