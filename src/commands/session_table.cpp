#include "commands/session_table.h"

namespace corvane {

void SessionTable::CloseSlotDatabase(int slot) {
  if (hooks_ && IsSlotNumber(slot)) hooks_->CloseSlotDatabase(slot);
}

QString SessionTable::SlotUserName(int slot) const {
  return IsSlotNumber(slot) ? sessions_[slot].SlotUserName : QString();
}

QString SessionTable::SlotRemoteAddress(int slot) const {
  return IsSlotNumber(slot) ? sessions_[slot].SlotRemoteAddress : QString();
}

QString SessionTable::SlotObjectName(int slot) const {
  return IsSlotNumber(slot) ? sessions_[slot].SlotObjectName : QString();
}

QString SessionTable::DatabaseEngineName(int slot) const {
  return hooks_ && IsSlotNumber(slot) ? hooks_->DatabaseEngineName(slot) : QString();
}

QString SessionTable::RecordsetName(int slot) const {
  return hooks_ && IsSlotNumber(slot) ? hooks_->RecordsetName(slot) : QString();
}

QString SessionTable::CurrentRecordNumber(int slot) {
  return hooks_ && IsSlotNumber(slot) ? hooks_->CurrentRecordNumber(slot) : QString();
}

QString SessionTable::RecordCountText(int slot) {
  return hooks_ && IsSlotNumber(slot) ? hooks_->RecordCountText(slot) : QString();
}

}  // namespace corvane
