#pragma once

#include <QStringList>
#include <chrono>
#include <memory>
#include <optional>
#include <vector>

#include "engine/recordset.h"
#include "postgres/pg_client_sql.h"
#include "postgres/pg_connection.h"
#include "postgres/pg_keyset.h"
#include "postgres/pg_pool.h"

namespace corvane {

struct PgShared;

// What a set of a server database reads. With key columns (a table's primary key) the set
// keeps the keys and reads its records by key, a batch at a time (see PgRecordset), so other
// Corvane servers' changes show within the pool's freshness limit. Without (a view, or a table
// without a primary key) it keeps the rows as read when it opened and is read-only.
//
// A set over a client's query reads it confined to reading: with key columns its rows are
// one table's rows (their order and choice are the query's), without it is a snapshot.
struct PgSetSource {
  QString table;                   // the relation, as named in the catalogue; empty for a query
  QStringList columns;             // its columns, in field order
  QStringList keyColumns;          // primary key columns, in key order; empty: read-only snapshot
  PgQuery query;                   // a client's query the set reads; empty: the relation
  std::shared_ptr<PgResult> rows;  // the query's rows, when already read
  std::shared_ptr<const PgKeyset> keys;  // the table's keys, when already read
};

// A table's set as it opened: what the pool keeps so that opens of the table within its
// freshness limit (a fleet of handhelds switched on together) read neither the catalogue nor
// the keys again. Records are still read from the table; only which ones there are may be
// as old as the limit allows, as for records read ahead.
struct PgOpenedTable {
  PgSetSource source;  // with its keys
  std::vector<FieldInfo> fields;
  std::chrono::steady_clock::time_point readAt;
  uint64_t saves = 0;  // the table's save count before its keys were read
};

// The most records one read by key fetches: those ahead of the move, in its direction.
inline constexpr int kReadAheadRecords = 32;
// A set whose records read ahead take more than this reads one record a move from then on:
// 99 clients each holding 32 records of large memos would hold gigabytes.
inline constexpr qint64 kReadAheadMostBytes = 1024 * 1024;

// A keyed set serves its moves from the records it last read ahead while they are younger
// than the pool's freshness limit and no client of this server saved to the table since;
// otherwise it reads the next records by key in one statement: up to kReadAheadRecords while
// the client moves through them, fewer when they age before it gets to them. An edit or a delete
// still compares with the stored record, so a record read ahead can never overwrite another
// client's save.
class PgRecordset final : public Recordset {
 public:
  // Reads the keys (or the rows) through `connection`, the one lent to the caller.
  PgRecordset(std::shared_ptr<PgShared> shared, PgConnection& connection, QString name,
              PgSetSource source, std::vector<FieldInfo> fields);
  ~PgRecordset() override;

  bool Updatable() const override { return !source_.keyColumns.isEmpty(); }
  void Close() override;

 private:
  int64_t KeyCount() const override;
  void FetchCurrent() override;
  void ForgetCurrent() override { original_.clear(); }
  void Find(const QString& criterion, int64_t from) override;
  // In a set whose keys stand in key order (a table's), the first match from `from` on is
  // the one with the least key from that record's on: PostgreSQL finds it through the key's
  // index, the set its place by halving, with no walk over all matches and keys. False,
  // nothing moved, when the set does not hold that key (a record another server added or
  // rekeyed): the whole read of the matches answers then.
  bool FindInKeyOrder(const QString& condition, std::vector<PgParam> params, int64_t from);
  Qt::CaseSensitivity ColumnNameCase() const override { return Qt::CaseSensitive; }
  bool WriteEdit(const std::vector<ColumnValue>& changes) override;
  bool CurrentRowExists() override;
  // The record as the update returned it.
  void ShowSaved() override;
  void WriteNew(const std::vector<ColumnValue>& values) override;
  bool DeleteCurrent() override;

  int KeyWidth() const { return static_cast<int>(source_.keyColumns.size()); }
  // "k1 = $n AND k2 = $n+1", and the current key's values as parameters.
  QString KeyCondition(int firstParameter) const;
  QString KeyList() const;  // "k1, k2"
  void AppendKey(std::vector<PgParam>& params, int64_t position) const;
  // Where a statement that returns the key first has it: columns 0 to KeyWidth() - 1.
  std::vector<int> LeadingColumns() const;
  // The text of a record's key or a snapshot's row, to compare the matches of a find with.
  QByteArray Identity(int64_t position) const;
  void ShowRow(const std::vector<PgParam>& row);
  void ShowOriginal();  // values_ from original_
  // Records read ahead: rows[i] is the record at `first` + i, or none when its key was not
  // found (deleted elsewhere).
  struct ReadAhead {
    int64_t first = 0;
    std::vector<std::optional<std::vector<PgParam>>> rows;
    std::chrono::steady_clock::time_point readAt;
    uint64_t saves = 0;  // the table's save count before they were read
    int64_t served = 0;  // moves served from them
  };
  bool ReadAheadServes(int64_t position) const;
  // Reads the records around `position`, the current one included: from it on, or up to it
  // when the set moved backwards.
  void ReadAround(int64_t position, bool backward);
  // Reads `count` records from `first` by key, in one statement.
  void ReadByKeys(int64_t first, int64_t count);
  // Counts a save to the table (which also drops what this set read ahead).
  void CountSave();
  // The connection for one step: the one lent while the set opens, or one borrowed from the
  // pool for the step (a request never holds two).
  struct StepConnection {
    std::optional<PgPool::Lease> lease;
    PgConnection* connection;
    PgConnection* operator->() const { return connection; }
  };
  StepConnection Connect();
  // `read(connection)` for a step that only reads: on the connection lent while the set
  // opens, or one of the pool's, again on a new one when that one breaks. The set keeps its
  // keys and place itself, so nothing of it lives on a connection.
  template <typename Read>
  auto Reading(Read&& read);

  std::shared_ptr<PgShared> shared_;
  PgConnection* opening_ = nullptr;
  PgSetSource source_;
  QString selectList_;
  PgKeyset keys_;
  std::shared_ptr<const PgResult> rows_;  // a snapshot's rows
  std::vector<PgParam> original_;         // the current record as last read
  ReadAhead ahead_;
  int64_t lastFetched_ = -1;  // which way the set moves
  // How many records the next read fetches: doubled when the client moved past all of the
  // last ones, cut to what it used when they aged first. A handheld at human pace moves once
  // in a second or two, so records read ahead for it would go stale unread and only cost.
  int64_t readAheadSize_ = kReadAheadRecords;
  bool oneByOne_ = false;   // its records are too big to be read ahead
  bool rowsShort_ = false;  // no record can be too big for a client, by its fields' types
};

}  // namespace corvane
