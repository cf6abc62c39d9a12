#pragma once

#include <QString>
#include <cstdint>

namespace corvane {

// What the activity log reads about a slot when it builds a row. The session table
// implements it; every text is empty when the slot has nothing of that kind (no
// database, no open set, a slot number outside 0..99).
class SlotActivitySource {
 public:
  virtual ~SlotActivitySource() = default;
  virtual QString SlotUserName(int slot) const = 0;
  virtual QString SlotRemoteAddress(int slot) const = 0;
  virtual QString SlotObjectName(int slot) const = 0;
  // The name of the slot's open database as the engine reports it (its file path).
  virtual QString DatabaseEngineName(int slot) const = 0;
  // The name of the slot's open set of records.
  virtual QString RecordsetName(int slot) const = 0;
  // CurrentRecordNumber and RecordCountText of the slot's set ("0" when empty).
  // RecordCountText leaves the set on its first record.
  virtual QString CurrentRecordNumber(int slot) = 0;
  virtual QString RecordCountText(int slot) = 0;
  // The last error handled: LastErrorNumber and LastErrorText.
  virtual int32_t LastErrorNumber() const = 0;
  virtual QString LastErrorText() const = 0;
};

}  // namespace corvane
