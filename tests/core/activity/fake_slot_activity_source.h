#pragma once

#include <QString>
#include <QStringList>
#include <stdexcept>

#include "activity/slot_activity_source.h"

namespace corvane {

// Slot facts set by the test; records which cursor calls were made. Slot 3 is the one
// that has anything; every other slot has nothing, as the session table reports it.
class FakeSlotActivitySource : public SlotActivitySource {
 public:
  static constexpr int kSlot = 3;

  QString SlotUserName(int slot) const override { return Of(slot, user); }
  QString SlotRemoteAddress(int slot) const override { return Of(slot, address); }
  QString SlotObjectName(int slot) const override { return Of(slot, object); }
  QString DatabaseEngineName(int slot) const override {
    if (throw_on_database) throw std::runtime_error("no database");
    return Of(slot, database);
  }
  QString RecordsetName(int slot) const override { return Of(slot, recordset); }
  QString CurrentRecordNumber(int slot) override {
    calls.append("position");
    return Of(slot, position);
  }
  QString RecordCountText(int slot) override {
    calls.append("count");
    return Of(slot, count);
  }
  int32_t LastErrorNumber() const override { return error_number; }
  QString LastErrorText() const override { return error_text; }

  QString user = "PETE";
  QString address = "10.0.0.7";
  QString object = "Orders";
  QString database = "/data/sales.db";
  QString recordset = "Orders";
  QString position = "12";
  QString count = "40";
  int32_t error_number = 0;
  QString error_text;
  bool throw_on_database = false;
  QStringList calls;

 private:
  static QString Of(int slot, const QString& value) { return slot == kSlot ? value : QString(); }
};

}  // namespace corvane
