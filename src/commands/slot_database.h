#pragma once

#include <QString>
#include <atomic>
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

#include "engine/database.h"
#include "engine/recordset.h"
#include "engine/variant.h"

namespace corvane {

// The database side of one slot: its open database, the set of records it browses, the
// record it was last sent and the query it created itself.
class SlotDatabase {
 public:
  Database* database() const { return database_.get(); }
  Recordset* recordset() const { return recordset_.get(); }
  // The open database or set; CommandError 91 when there is none, as for an object that
  // was never set.
  Database& Db() const;
  Recordset& Set() const;

  // A new database replaces the old one and everything opened on it (see Close).
  void SetDatabase(std::unique_ptr<Database> database);
  void SetRecordset(std::unique_ptr<Recordset> recordset);
  // Closes the set (kept, so that using it fails as for any closed set).
  void CloseRecordset();
  // Closes the database and the set, removing first the query this slot created and did
  // not save: once its database is closed nobody can save it any more, so a client that
  // leaves, or moves on, in the middle of composing a query leaves nothing behind. Never
  // fails.
  void Close();

  // The record last sent in a "Data" or "Found" reply: its position in the set and its
  // values as sent. An update is checked against them.
  void RememberSent(int64_t position, std::vector<Variant> values);
  void ForgetSent();
  int64_t sentPosition() const { return sentPosition_; }
  const std::vector<Variant>& sentValues() const { return sentValues_; }

  // While the flag is set, the database's statements stop at their next step (the request
  // working on this side is no longer wanted); it applies to databases set later too.
  // nullptr takes it away.
  void SetCancelFlag(const std::atomic<bool>* cancel);
  // The database's statements stop once this moment (ms since the epoch) has passed: the
  // deadline of the request working on this side. It applies to databases set later too;
  // 0 takes it away.
  void SetDeadline(qint64 msSinceEpoch);

  // The stored query this slot created in its open database and has not saved: the only
  // one it may delete again.
  const QString& createdQuery() const { return createdQuery_; }
  // The slot has just stored this query; one it had created before and not saved is
  // removed (see RemoveCreatedQuery).
  void QueryCreated(const QString& name);
  // The created query was saved: it is no longer the slot's to remove.
  void QuerySaved() { createdQuery_.clear(); }
  // Closes the set and deletes the query this slot created and did not save, if any. The
  // database stays open. Never fails: a query it cannot delete is kept (TakeLeftQueries).
  void RemoveCreatedQuery();

  // Removing a query changes its database's schema, one change at a time per database.
  // While held back, closing the side (Close, SetDatabase) removes nothing: the unsaved
  // query leaves the side with its database and set (TakeRemovals), for the caller to
  // remove under that database's turn. Otherwise (the default) it is removed at once.
  void HoldBackRemovals(bool hold) { holdBack_ = hold; }
  // Each a side of its own holding an unsaved query; closing it removes the query.
  std::vector<SlotDatabase> TakeRemovals() { return std::exchange(removals_, {}); }
  // The unsaved query with its database and set, as a side of its own; this side keeps
  // nothing. Touches no database: it may be called on any thread.
  SlotDatabase TakeCreatedQuery();
  // The queries this side failed to delete since the last call.
  std::vector<LeftQuery> TakeLeftQueries() { return std::exchange(leftQueries_, {}); }

 private:
  std::unique_ptr<Database> database_;
  std::unique_ptr<Recordset> recordset_;
  int64_t sentPosition_ = -1;
  std::vector<Variant> sentValues_;
  QString createdQuery_;
  bool holdBack_ = false;
  std::vector<SlotDatabase> removals_;
  std::vector<LeftQuery> leftQueries_;
  const std::atomic<bool>* cancel_ = nullptr;
  qint64 deadline_ = 0;
};

// "0" for an empty set, otherwise the 1-based position of the current record.
QString CurrentRecordNumber(Recordset& rs);
// The exact number of records; counting leaves the first record current.
QString RecordCountText(Recordset& rs);

}  // namespace corvane
