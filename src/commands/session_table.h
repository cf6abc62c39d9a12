#pragma once

#include <array>

#include "activity/slot_activity_source.h"
#include "commands/slot_database_hooks.h"
#include "protocol/slot_session.h"

namespace corvane {

// The session records of all slots and the last error handled; the activity log reads slot
// facts through it.
class SessionTable : public SlotActivitySource {
 public:
  SessionTable() = default;
  SessionTable(const SessionTable&) = delete;
  SessionTable& operator=(const SessionTable&) = delete;

  // Precondition: IsSlotNumber(slot).
  SlotSession& at(int slot) { return sessions_[slot]; }
  const SlotSession& at(int slot) const { return sessions_[slot]; }

  void SetDatabaseHooks(SlotDatabaseHooks* hooks) { hooks_ = hooks; }
  // Closes the slot's database through the hooks; nothing without them.
  void CloseSlotDatabase(int slot);

  // The next session key to hand out: 157 until the first renewal, then 1..126.
  int16_t KeySeed() const { return keySeed_; }
  void SetKeySeed(int16_t seed) { keySeed_ = seed; }

  void SetLastError(int32_t number, const QString& text) {
    lastErrorNumber_ = number;
    lastErrorText_ = text;
  }

  QString SlotUserName(int slot) const override;
  QString SlotRemoteAddress(int slot) const override;
  QString SlotObjectName(int slot) const override;
  QString DatabaseEngineName(int slot) const override;
  QString RecordsetName(int slot) const override;
  QString CurrentRecordNumber(int slot) override;
  QString RecordCountText(int slot) override;
  int32_t LastErrorNumber() const override { return lastErrorNumber_; }
  QString LastErrorText() const override { return lastErrorText_; }

 private:
  std::array<SlotSession, kSlotCount> sessions_;
  SlotDatabaseHooks* hooks_ = nullptr;
  int16_t keySeed_ = 157;
  int32_t lastErrorNumber_ = 0;
  QString lastErrorText_;
};

}  // namespace corvane
