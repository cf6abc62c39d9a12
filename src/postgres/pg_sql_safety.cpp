#include "postgres/pg_sql_safety.h"

#include <algorithm>
#include <iterator>

#include "engine/sql_safety.h"

namespace corvane {

namespace {

// Sorted, lower case. Functions that make large values out of small ones (repeat, lpad,
// generate_series) are left out with the rest: no Jet function needs them.
// clang-format off
constexpr std::string_view kSafeCalls[] = {
    "abs", "acos", "age", "all", "and", "any", "array", "as", "ascii", "asin", "atan",
    "atan2", "avg", "between", "bit_length", "bool_and", "bool_or", "btrim", "by", "case",
    "cast", "cbrt", "ceil", "ceiling", "char_length", "character_length", "chr", "coalesce",
    "concat", "concat_ws", "cos", "cot", "count", "cross", "cume_dist", "date_part",
    "date_trunc", "degrees", "dense_rank", "distinct", "div", "else", "escape", "every",
    "except", "exists", "exp", "extract", "filter", "first_value", "float4", "float8",
    "floor", "from", "full", "greatest", "group", "having", "ilike", "in", "initcap", "inner",
    "int2", "int4", "int8", "intersect", "is", "join", "lag", "last_value", "lead", "least",
    "left", "length", "like", "limit", "ln", "log", "log10", "lower", "ltrim", "make_date",
    "make_time", "make_timestamp", "max", "md5", "min", "mod", "not", "nth_value", "ntile",
    "nullif", "numeric", "octet_length", "offset", "on", "or", "order", "outer", "over",
    "overlay", "partition", "percent_rank", "pi", "position", "power", "radians", "rank",
    "regexp_replace", "replace", "reverse", "right", "round", "row", "row_number", "rtrim",
    "select", "sign", "sin", "some", "sqrt", "stddev", "stddev_pop", "stddev_samp",
    "string_agg", "strpos", "substr", "substring", "sum", "tan", "text", "then", "to_char",
    "to_date", "to_number", "to_timestamp", "translate", "trim", "trunc", "union", "upper",
    "using", "values", "var_pop", "var_samp", "variance", "when", "where",
};
// clang-format on
static_assert(std::is_sorted(std::begin(kSafeCalls), std::end(kSafeCalls)));

}  // namespace

bool IsSafePgCall(const QString& name) {
  // A name outside Latin-1 comes out with '?', which no listed name has.
  const QByteArray latin = name.toLatin1();
  return IsListedName(kSafeCalls, std::string_view(latin.constData(), latin.size()));
}

}  // namespace corvane
