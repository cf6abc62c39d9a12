#include "engine/sql_safety.h"

#include <algorithm>
#include <iterator>
#include <string_view>

namespace corvane {

namespace {

// Sorted, lower case: core scalar, aggregate and window functions, date and time, math,
// JSON, and the Jet functions of jet_functions.cpp. Names of newer SQLite versions are
// listed too: a name this build lacks is never called anyway.
// clang-format off
constexpr std::string_view kSafeFunctions[] = {
    "->", "->>", "abs", "acos", "acosh", "asin", "asinh", "atan", "atan2", "atanh", "avg",
    "cdbl", "ceil", "ceiling", "changes", "char", "cint", "clng", "coalesce", "concat",
    "concat_ws", "cos", "cosh", "count", "cstr", "cume_dist", "current_date", "current_time",
    "current_timestamp", "date", "datetime", "day", "degrees", "dense_rank", "exp",
    "first_value", "floor", "format", "glob", "group_concat", "hex", "hour", "if", "ifnull",
    "iif", "instr", "jet_intdiv", "jet_left", "jet_right", "json", "json_array",
    "json_array_length", "json_error_position", "json_extract", "json_group_array",
    "json_group_object", "json_insert", "json_object", "json_patch", "json_pretty",
    "json_quote", "json_remove", "json_replace", "json_set", "json_type", "json_valid", "jsonb",
    "jsonb_array", "jsonb_extract", "jsonb_group_array", "jsonb_group_object", "jsonb_insert",
    "jsonb_object", "jsonb_patch", "jsonb_remove", "jsonb_replace", "jsonb_set", "julianday",
    "lag", "last_insert_rowid", "last_value", "lcase", "lead", "len", "length", "like",
    "likelihood", "likely", "ln", "log", "log10", "log2", "lower", "ltrim", "max", "median",
    "mid", "min", "minute", "mod", "month", "now", "nth_value", "ntile", "nullif", "nz",
    "octet_length", "percent_rank", "percentile", "percentile_cont", "percentile_disc", "pi",
    "pow", "power", "printf", "quote", "radians", "random", "randomblob", "rank", "replace",
    "round", "row_number", "rtrim", "second", "sign", "sin", "sinh", "soundex", "sqrt",
    "strftime", "string_agg", "substr", "substring", "sum", "tan", "tanh", "time", "timediff",
    "total", "total_changes", "trim", "trunc", "typeof", "ucase", "unhex", "unicode", "unistr",
    "unixepoch", "unlikely", "upper", "val", "year", "zeroblob",
};
// clang-format on
static_assert(std::is_sorted(std::begin(kSafeFunctions), std::end(kSafeFunctions)));
// Longer than any listed name, of either engine.
constexpr size_t kLongestName = 24;

}  // namespace

bool IsListedName(std::span<const std::string_view> sorted, std::string_view name) {
  if (name.size() > kLongestName) return false;
  char lower[kLongestName];
  for (size_t i = 0; i < name.size(); ++i) {
    const char c = name[i];
    lower[i] = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
  }
  return std::binary_search(sorted.begin(), sorted.end(), std::string_view(lower, name.size()));
}

bool IsSafeSqlFunction(const char* name) { return name && IsListedName(kSafeFunctions, name); }

void ConfigureDefensively(sqlite3* db) {
  sqlite3_db_config(db, SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
  sqlite3_db_config(db, SQLITE_DBCONFIG_TRUSTED_SCHEMA, 0, nullptr);
  sqlite3_db_config(db, SQLITE_DBCONFIG_ENABLE_FTS3_TOKENIZER, 0, nullptr);
  sqlite3_db_config(db, SQLITE_DBCONFIG_ENABLE_LOAD_EXTENSION, 0, nullptr);
}

}  // namespace corvane
