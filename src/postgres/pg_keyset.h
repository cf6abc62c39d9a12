#pragma once

#include <QByteArray>
#include <cstdint>
#include <optional>
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

  // Whether the keys stand in key order, as PostgreSQL orders them: from MarkOrdered (called
  // when they were read so) until a key is added or changed out of that order. Numbers are
  // compared here; a text key added or changed may be anywhere, so it ends the order.
  bool Ordered() const { return ordered_; }
  void MarkOrdered() { ordered_ = true; }
  // The first position from `from` on whose key is row `row` of `result` (key columns at
  // 0 to width - 1); -1 when none. In an ordered keyset of numbers, found by halving.
  int64_t Locate(const PgResult& result, int row, int64_t from) const;
  // In a keyset of numbers, the first position from `from` on whose key is in column 0 of
  // a row of `matches`, or -1; nothing for a keyset of texts.
  std::optional<int64_t> FirstOfNumbers(const PgResult& matches, int64_t from) const;

 private:
  bool SameKey(int64_t position, const PgResult& result, int row) const;

  int width_ = 1;
  bool numbers_ = false;
  bool ordered_ = false;
  std::vector<int64_t> numbered_;
  std::vector<QByteArray> texts_;
};

}  // namespace corvane
