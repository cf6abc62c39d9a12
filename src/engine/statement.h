#pragma once

#include <sqlite3.h>

#include <QString>

#include "base/sqlite_statement.h"
#include "engine/variant.h"

namespace corvane {

// Text as SQLite hands it over: UTF-8 when it is valid UTF-8, otherwise the single-byte
// Windows-1252 that other programs wrote.
QString DecodeStoredText(const char* data, int length);

// The engine's view of a prepared statement: values bound and read as Variants, failures
// thrown as EngineErrors with the numbers clients know.
class Statement {
 public:
  Statement() = default;
  explicit Statement(SqliteStatement stmt) : stmt_(std::move(stmt)) {}

  bool valid() const { return stmt_.valid(); }
  sqlite3_stmt* get() const { return stmt_.get(); }
  // For loops over many rows that read plain columns without the engine's checks.
  SqliteStatement& sqlite() { return stmt_; }
  void Finalize() { stmt_.Finalize(); }

  void Bind(int index, const Variant& value);  // 1-based
  void BindValue(int index, const sqlite3_value* value);
  void Reset() { stmt_.Reset(); }
  // Steps once: true while a row is available; throws on failure.
  bool Step();

  int ColumnCount() const { return stmt_.ColumnCount(); }
  Variant Column(int index) const;
  int64_t ColumnInteger(int index) const { return stmt_.ColumnInteger(index); }
  QString ColumnText(int index) const;
  QString ColumnName(int index) const { return stmt_.ColumnName(index); }

 private:
  SqliteStatement stmt_;
};

// Reads a stored value as a Variant (text decoded, never dropped).
Variant VariantFromValue(sqlite3_value* value);

}  // namespace corvane
