#pragma once

#include <QString>

#include "engine/jet_pieces.h"

namespace corvane {

// A Jet Like pattern (* ? # [a-z] [!a]) as an anchored PostgreSQL regular expression, for
// the case-insensitive ~* operator.
QString JetLikeRegex(const QString& pattern);

// PostgreSQL has no Like with Jet's wildcards and case rule: `a Like p` becomes
// CAST(a AS text) ~* regex, Not Like !~*. A pattern written as a text is already a regular
// expression (likeRegex); any other is made into one by the statement.
void RewritePgLike(JetPieces& out);

}  // namespace corvane
