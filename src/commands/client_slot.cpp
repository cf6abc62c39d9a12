#include "commands/client_slot.h"

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
  if (cancel_) {
    // The worker stops at its next step; its result is dropped and its database released.
    cancel_->store(true);
    cancel_.reset();
  }
  const bool logoff = ReportsLogoff(reason, transport_->State());
  transport_->Close();
  transport_ = own_;
  ++generation_;
  database.Close();
  if (logoff) activity_.LogActivity(Activity("Logoff"));
  usersList_.RemoveSlot(number_);
  ClearSlotText(session);
  session.FreshConnection = false;
  session.IdleMinutes = 0;
}

void ClientSlot::Deliver(const Replies& out) {
  for (const Reply& reply : out.replies) transport_->Send(reply);
  for (const ActivityEntry& event : out.events) activity_.LogActivity(event);
  for (const ActivityNote& note : out.notes) activity_.LogNote(note.text, note.user);
  if (out.discardPendingInput) transport_->DiscardPendingInput();
}

SlotDatabase ClientSlot::BeginWork(std::shared_ptr<std::atomic<bool>> cancel) {
  cancel_ = std::move(cancel);
  transport_->PauseInput();
  return std::exchange(database, SlotDatabase());
}

void ClientSlot::EndWork(SlotSession worked, SlotDatabase worked_database, bool active) {
  cancel_.reset();
  const int16_t idle = active ? 0 : session.IdleMinutes;
  session = std::move(worked);
  session.IdleMinutes = idle;
  database = std::move(worked_database);
}

ActivityEntry ClientSlot::Activity(const QByteArray& code) { return SlotActivity(Live(), code); }

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

void ApplyOutcome(ClientSlot& slot, SharedCatalogue& catalogue, const Replies& out) {
  // An accepted logon: the slot joins the "Current Users" list.
  if (out.LogonResult() == LogonOutcome::kAccepted) slot.ShowInUsersList();
  if (out.savedQuery) {
    const int16_t d = out.savedQuery->database;
    const QString& name = out.savedQuery->name;
    const std::vector<QStringList>& lists = catalogue.Current().queryLists;
    if (d >= 0 && static_cast<size_t>(d) < lists.size() &&
        !lists[d].contains(name, Qt::CaseInsensitive)) {
      catalogue.Change([d, &name](Catalogue& next) { next.queryLists[d].append(name); });
    }
  }
  slot.Deliver(out);
}

}  // namespace corvane
