#pragma once

#include <QByteArray>
#include <cstdint>
#include <vector>

#include "postgres/pg_connection.h"

namespace corvane {

// The primary-key values of a set's records, in the set's order, `width` values each. A key
// of one integer column (the usual serial or identity key) is kept as numbers, 8 bytes a
// record; any other key as texts (some 60 bytes a value). 99 clients each holding a set of
// 100,000 records took a server to 580 MB with texts, 115 MB with numbers.
class PgKeyset {
 public:
  PgKeyset() = default;
  // `columnType` is the type of the only key column when `width` is 1.
  PgKeyset(int width, Oid columnType);

  int64_t Count() const;
  void Reserve(int64_t records);
  void Clear();

  // The key of `row` of `result`, whose key columns are at `at` (in key order), as the last
  // record, or in place of the record at `position`.
  void Append(const PgResult& result, int row, const std::vector<int>& at);
  void Replace(int64_t position, const PgResult& result, int row, const std::vector<int>& at);
  void Erase(int64_t position);

  // The k-th value of the key at `position`, in PostgreSQL's text form.
  QByteArray Value(int64_t position, int k) const;

 private:
  int width_ = 1;
  bool numbers_ = false;
  std::vector<int64_t> numbered_;
  std::vector<QByteArray> texts_;
};

}  // namespace corvane
