#include "commands/client_slot.h"

#include "activity/activity_events.h"
#include "protocol/socket_state.h"

namespace corvane {
namespace {

bool ReportsLogoff(FreeReason reason, int state) {
  switch (reason) {
    case FreeReason::kPeerClosed:
    case FreeReason::kOverfull:
    case FreeReason::kClientLeft:
      return true;
    case FreeReason::kInactive:
      return state == kSocketConnected || state == kSocketPeerClosing || state == kSocketError;
    case FreeReason::kNoLogon:
    case FreeReason::kDisconnectAll:
    case FreeReason::kShutdown:
      return false;
  }
  return false;
}

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

ClientSlot::ClientSlot(int number, ActivityReporter& activity, CurrentUsersModel& usersList)
    : number_(number), activity_(activity), usersList_(usersList) {}

void ClientSlot::SetOwnTransport(SlotTransport& own) {
  own_ = &own;
  transport_ = &own;
}

void ClientSlot::Begin() { Begin(*own_); }

void ClientSlot::Begin(SlotTransport& transport) {
  transport_ = &transport;
  ++generation_;
  session.FreshConnection = true;
  session.LogonAccepted = false;
}

void ClientSlot::Free(FreeReason reason) {
  const bool logoff = ReportsLogoff(reason, transport_->State());
  transport_->Close();
  transport_ = own_;
  ++generation_;
  database.Release();
  if (logoff) activity_.LogActivity(Activity("Logoff"));
  usersList_.RemoveSlot(number_);
  ClearSlotText(session);
  session.FreshConnection = false;
  session.IdleMinutes = 0;
}

void ClientSlot::Deliver(const Replies& out) {
  for (const Reply& reply : out.replies) transport_->Send(reply);
  for (const ActivityEntry& event : out.events) activity_.LogActivity(event);
  if (out.discardPendingInput) transport_->DiscardPendingInput();
}

ActivityEntry ClientSlot::Activity(const QByteArray& code) const {
  ActivityEntry entry;
  entry.code = code;
  entry.slot = number_;
  entry.user = session.SlotUserName;
  entry.remoteAddress = session.SlotRemoteAddress;
  entry.object = session.SlotObjectName;
  const Database* db = database.database();
  if (db && db->isOpen()) entry.database = db->Name();
  Recordset* rs = database.recordset();
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

CurrentUserRow ClientSlot::UsersListRow() const {
  CurrentUserRow row;
  row.localPort = QString::number(transport_->LocalPort());
  row.user = session.SlotUserName;
  row.remoteAddress = session.SlotRemoteAddress;
  row.database = session.SlotDatabaseName;
  row.object = session.SlotObjectName;
  row.slot = number_;
  return row;
}

void ClientSlot::ShowInUsersList() {
  usersList_.RemoveSlot(number_);
  usersList_.AddRow(UsersListRow());
}

}  // namespace corvane
