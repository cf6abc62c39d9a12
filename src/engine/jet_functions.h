#pragma once

#include <sqlite3.h>

namespace corvane {

// Adds the functions Jet SQL expects (Like with Jet wildcards, UCase, Mid, IIf, Nz,
// Year, Val, CInt, ...) to a connection. Names SQLite reserves (Left, Right, \) are
// reached through the jet_ names the translator writes.
void RegisterJetFunctions(sqlite3* db);

}  // namespace corvane
