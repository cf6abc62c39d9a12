#pragma once

#include <QString>

#include "engine/jet_pieces.h"
#include "engine/jet_sql_writer.h"

namespace corvane {

// The rewrites over a whole translation that every engine shares; where the engines differ
// they ask the writer.

// Texts compared and ORDER BY terms, without regard to case.
void CompareAndSortWithoutCase(JetPieces& out, const JetSqlWriter& writer);

// Jet's & binds more loosely than arithmetic, SQL's || more tightly, and & reads Null as
// the empty text: each operand of & is wrapped (ConcatenationOperand) around ||.
void WrapConcatenation(JetPieces& out, const JetSqlWriter& writer);

// The text of out with every a \ b written as the writer's IntegerDivision.
QString RenderWithIntegerDivision(JetPieces& out, const JetSqlWriter& writer);

}  // namespace corvane
