#pragma once

#include <sqlite3.h>

#include <span>
#include <string_view>

namespace corvane {

// Whether `name`, whatever the case of its ASCII letters, is one of `sorted` (lower-case
// names in order): the form of every list of what client SQL may call.
bool IsListedName(std::span<const std::string_view> sorted, std::string_view name);

// Whether SQL run for a client may call the function `name` (any case): SQLite's core
// scalar, aggregate, window, date and time, math and JSON functions and the Jet functions
// the engine adds. Whatever else a build of SQLite brings along (fts3_tokenizer, which
// hands out a pointer into the library, load_extension, sqlite_compileoption_get, ...)
// is refused: a function nobody listed is one nobody reviewed.
bool IsSafeSqlFunction(const char* name);

// Settings for a connection to a file that may come from anywhere: ordinary SQL cannot
// corrupt it (writable_schema, journal_mode=OFF, ...), its views and triggers call only
// functions without side effects, and neither the FTS3 tokenizer function (which hands out
// a pointer into SQLite) nor extension loading is on. Set after the connection's own
// set-up, which they would refuse.
void ConfigureDefensively(sqlite3* db);

}  // namespace corvane
