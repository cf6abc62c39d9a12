#pragma once

#include <sqlite3.h>

#include <QString>

#include "engine/variant.h"

namespace corvane {

// Text as SQLite hands it over: UTF-8 when it is valid UTF-8, otherwise the single-byte
// Windows-1252 that other programs wrote.
QString DecodeStoredText(const char* data, int length);

// An owned prepared statement. Errors of stepping become EngineError.
class Statement {
 public:
  Statement() = default;
  explicit Statement(sqlite3_stmt* stmt) : stmt_(stmt) {}
  ~Statement();
  Statement(Statement&& other) noexcept : stmt_(other.stmt_) { other.stmt_ = nullptr; }
  Statement& operator=(Statement&& other) noexcept;
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  bool valid() const { return stmt_ != nullptr; }
  sqlite3_stmt* get() const { return stmt_; }
  void Finalize();

  void Bind(int index, const Variant& value);  // 1-based
  void BindValue(int index, const sqlite3_value* value);
  void Reset();
  // Steps once: true while a row is available; throws on failure.
  bool Step();

  int ColumnCount() const;
  Variant Column(int index) const;
  int64_t ColumnInteger(int index) const { return sqlite3_column_int64(stmt_, index); }
  QString ColumnText(int index) const;
  int ColumnType(int index) const { return sqlite3_column_type(stmt_, index); }
  QString ColumnName(int index) const;

 private:
  sqlite3_stmt* stmt_ = nullptr;
};

// Reads a stored value as a Variant (text decoded, never dropped).
Variant VariantFromValue(sqlite3_value* value);

}  // namespace corvane
