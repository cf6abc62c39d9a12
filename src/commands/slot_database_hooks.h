#pragma once

#include <QString>

namespace corvane {

// What the connection housekeeping and the activity rows need of a slot's open database.
// The database layer implements it; without one, no slot ever has a database open.
class SlotDatabaseHooks {
 public:
  virtual ~SlotDatabaseHooks() = default;
  // Closes the slot's database and set of records, if any; never fails.
  virtual void CloseSlotDatabase(int slot) = 0;
  virtual QString DatabaseEngineName(int slot) const = 0;
  virtual QString RecordsetName(int slot) const = 0;
  virtual QString CurrentRecordNumber(int slot) = 0;
  virtual QString RecordCountText(int slot) = 0;
};

}  // namespace corvane
