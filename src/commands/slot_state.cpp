#include "commands/slot_state.h"

#include "activity/activity_events.h"

namespace corvane {
namespace {

// A fact that cannot be read leaves its column empty: reporting never fails.
template <typename Read>
QString Guarded(Read read) {
  try {
    return read();
  } catch (...) {
    return QString();
  }
}

}  // namespace

ActivityEntry SlotActivity(const SlotState& state, const QByteArray& code) {
  ActivityEntry entry;
  entry.code = code;
  entry.slot = state.number;
  entry.user = state.session.SlotUserName;
  entry.remoteAddress = state.session.SlotRemoteAddress;
  entry.object = state.session.SlotObjectName;
  const Database* db = state.database.database();
  if (db && db->isOpen()) entry.database = db->Name();
  Recordset* rs = state.database.recordset();
  if (rs && rs->isOpen()) entry.recordset = rs->Name();
  const ActivityEvent* event = FindActivityEvent(code);
  if (rs && event) {
    if (event->record == ActivityValue::kPosition) {
      entry.record = Guarded([rs] { return CurrentRecordNumber(*rs); });
    } else if (event->record == ActivityValue::kCount) {
      entry.record = Guarded([rs] { return RecordCountText(*rs); });
    }
  }
  return entry;
}

}  // namespace corvane
