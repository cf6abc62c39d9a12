#include "commands/slot_databases.h"

#include "engine/engine_error.h"
#include "protocol/command_error.h"

namespace corvane {
namespace {

CommandError NotSet() {
  return CommandError(91, QStringLiteral("Object variable or With block variable not set"));
}

}  // namespace

Database& SlotDatabase::Db() const {
  if (!database_) throw NotSet();
  return *database_;
}

Recordset& SlotDatabase::Set() const {
  if (!recordset_) throw NotSet();
  return *recordset_;
}

void SlotDatabase::SetDatabase(std::unique_ptr<Database> database) {
  Close();
  database_ = std::move(database);
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
  // The set first: it reads through the database's connection.
  recordset_.reset();
  database_.reset();
  createdQuery_.clear();
  ForgetSent();
}

void SlotDatabase::RememberSent(int64_t position, std::vector<Variant> values) {
  sentPosition_ = position;
  sentValues_ = std::move(values);
}

void SlotDatabase::ForgetSent() {
  sentPosition_ = -1;
  sentValues_.clear();
}

void SlotDatabases::CloseSlotDatabase(int slot) {
  if (IsSlotNumber(slot)) slots_[slot].Close();
}

QString SlotDatabases::DatabaseEngineName(int slot) const {
  if (!IsSlotNumber(slot)) return {};
  const Database* db = slots_[slot].database();
  return db && db->isOpen() ? db->Name() : QString();
}

QString SlotDatabases::RecordsetName(int slot) const {
  if (!IsSlotNumber(slot)) return {};
  const Recordset* rs = slots_[slot].recordset();
  return rs && rs->isOpen() ? rs->Name() : QString();
}

QString SlotDatabases::CurrentRecordNumber(int slot) {
  if (!IsSlotNumber(slot) || !slots_[slot].recordset()) return {};
  try {
    return corvane::CurrentRecordNumber(*slots_[slot].recordset());
  } catch (const std::exception&) {
    return {};
  }
}

QString SlotDatabases::RecordCountText(int slot) {
  if (!IsSlotNumber(slot) || !slots_[slot].recordset()) return {};
  try {
    return corvane::RecordCountText(*slots_[slot].recordset());
  } catch (const std::exception&) {
    return {};
  }
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
