#pragma once

#include <sqlite3.h>

#include "engine/engine_error.h"

namespace corvane {

// Translates SQLite's extended result code and message into an engine error with
// the number callers know.
EngineError SqliteError(sqlite3* db, int resultCode);
EngineError SqliteError(int resultCode, const QString& message);

}  // namespace corvane
