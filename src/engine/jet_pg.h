#pragma once

#include <QString>
#include <QStringList>
#include <optional>

namespace corvane {

// A Jet Like pattern (* ? # [a-z] [!a]) as an anchored PostgreSQL regular expression, for
// the case-insensitive ~* operator.
QString JetLikeRegex(const QString& pattern);

// How a call of a Jet function is written for PostgreSQL: the pieces written instead of
// its name, after its "(", instead of each of its top-level commas (the last one repeats),
// before and after its ")". Pieces are separated by '`'; "(", ")", "," and " " stand
// alone. Without parentheses (dropParens), the call's own are left out.
struct PgCall {
  QString head;
  QString afterOpen;
  QStringList commas;
  QString beforeClose;
  QString tail;
  bool dropParens = false;
};

// The PostgreSQL form of a call of `name` with `args` arguments; nullopt: written as it is
// (PostgreSQL has the same function).
std::optional<PgCall> PgCallFor(const QString& name, int args);

}  // namespace corvane
