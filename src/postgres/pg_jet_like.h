#pragma once

#include <QString>
#include <optional>

#include "engine/jet_pieces.h"

namespace corvane {

// A Jet Like pattern (* ? # [a-z] [!a]) as an anchored PostgreSQL regular expression, for
// the case-insensitive ~* operator.
QString JetLikeRegex(const QString& pattern);

// The same pattern for PostgreSQL's LIKE, which matches several times faster than ~*, when
// it means the same there: only * and ? for wildcards and only characters without case
// (ASCII digits, punctuation, blanks) besides. Nothing for any other pattern.
std::optional<QString> JetPlainLike(const QString& pattern);

// PostgreSQL has no Like with Jet's wildcards and case rule: `a Like p` becomes
// CAST(a AS text) ~* regex, Not Like !~*. A pattern written as a text is already a regular
// expression (likeRegex), or a LIKE pattern (likePlain: then (CAST(a AS text) LIKE p));
// any other is made into a regular expression by the statement.
void RewritePgLike(JetPieces& out);

}  // namespace corvane
