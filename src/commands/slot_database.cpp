#include "commands/slot_database.h"

#include <utility>

#include "engine/engine_error.h"
#include "protocol/command_error.h"

namespace corvane {

Database& SlotDatabase::Db() const {
  if (!database_) throw CommandError::ObjectNotSet();
  return *database_;
}

Recordset& SlotDatabase::Set() const {
  if (!recordset_) throw CommandError::ObjectNotSet();
  return *recordset_;
}

void SlotDatabase::SetDatabase(std::unique_ptr<Database> database) {
  Close();
  database_ = std::move(database);
  if (database_) {
    database_->SetCancelFlag(cancel_);
    database_->SetDeadline(deadline_);
  }
}

void SlotDatabase::SetCancelFlag(const std::atomic<bool>* cancel) {
  cancel_ = cancel;
  if (database_ && database_->isOpen()) database_->SetCancelFlag(cancel);
}

void SlotDatabase::SetDeadline(qint64 msSinceEpoch) {
  deadline_ = msSinceEpoch;
  if (database_ && database_->isOpen()) database_->SetDeadline(msSinceEpoch);
}

void SlotDatabase::SetRecordset(std::unique_ptr<Recordset> recordset) {
  recordset_ = std::move(recordset);
  ForgetSent();
}

void SlotDatabase::CloseRecordset() {
  if (recordset_) recordset_->Close();
  ForgetSent();
}

void SlotDatabase::Close() {
  if (holdBack_ && !createdQuery_.isEmpty()) removals_.push_back(TakeCreatedQuery());
  RemoveCreatedQuery();
  // The set first: it reads through the database's connection.
  recordset_.reset();
  database_.reset();
  ForgetSent();
}

void SlotDatabase::QueryCreated(const QString& name) {
  RemoveCreatedQuery();
  createdQuery_ = name;
}

void SlotDatabase::RemoveCreatedQuery() {
  if (createdQuery_.isEmpty()) return;
  const QString name = std::exchange(createdQuery_, QString());
  if (!database_) return;
  try {
    // The set may read through the query's view.
    CloseRecordset();
    if (database_->isOpen()) {
      database_->DeleteQueryDef(name);
      return;
    }
  } catch (const EngineError& error) {
    // Gone already: nothing is left to remove later.
    if (error.number() == engine_error::kItemNotFound) return;
  } catch (const std::exception&) {
    // Closing must not fail; the query is named for a later removal.
  }
  leftQueries_.push_back({database_->Name(), name});
}

SlotDatabase SlotDatabase::TakeCreatedQuery() {
  SlotDatabase taken;
  if (createdQuery_.isEmpty()) return taken;
  taken.createdQuery_ = std::exchange(createdQuery_, QString());
  taken.recordset_ = std::move(recordset_);
  taken.database_ = std::move(database_);
  // The request's stop and deadline do not follow: the removal must not be cut short.
  if (taken.database_) {
    taken.database_->SetCancelFlag(nullptr);
    taken.database_->SetDeadline(0);
  }
  ForgetSent();
  return taken;
}

void SlotDatabase::RememberSent(int64_t position, std::vector<Variant> values) {
  sentPosition_ = position;
  sentValues_ = std::move(values);
}

void SlotDatabase::ForgetSent() {
  sentPosition_ = -1;
  sentValues_.clear();
}

QString CurrentRecordNumber(Recordset& rs) {
  if (rs.RecordCount() == 0) return QStringLiteral("0");
  return QString::number(rs.AbsolutePosition() + 1);
}

QString RecordCountText(Recordset& rs) {
  if (rs.RecordCount() == 0) return QStringLiteral("0");
  rs.MoveLast();
  const int64_t count = rs.RecordCount();
  rs.MoveFirst();
  return QString::number(count);
}

}  // namespace corvane
