#pragma once

#include <QByteArray>
#include <atomic>
#include <cstdint>
#include <memory>

#include "activity/activity_entry.h"
#include "activity/activity_reporter.h"
#include "base/shared_catalogue.h"
#include "commands/current_users_model.h"
#include "commands/replies.h"
#include "commands/slot_database.h"
#include "commands/slot_state.h"
#include "protocol/slot_session.h"
#include "protocol/slot_transport.h"

namespace corvane {

// Why a slot is freed; it decides whether the activity list shows a "User Logoff" row.
enum class FreeReason {
  kPeerClosed,     // the client closed its connection, or the connection failed
  kOverfull,       // the client sent more than a slot may hold without a whole message
  kInactive,       // the inactivity limit was reached
  kClientLeft,     // a web session ended
  kNoLogon,        // no logon came in time: dropped without a word
  kDisconnectAll,  // the operator's setup disconnected everyone
  kShutdown,       // the server ends
};

// One client slot: how it is reached (its transport), its session record and its database
// side. Free is the only way a slot's client is let go.
class ClientSlot {
 public:
  ClientSlot(int number, ActivityReporter& activity, CurrentUsersModel& usersList);
  // The slot's own socket, which serves it unless a web session holds it; set once, before
  // the slot is used.
  void SetOwnTransport(SlotTransport& own);
  ClientSlot(const ClientSlot&) = delete;
  ClientSlot& operator=(const ClientSlot&) = delete;

  int number() const { return number_; }
  SlotTransport& transport() const { return *transport_; }
  int State() const { return transport_->State(); }
  // Counts the connections the slot has served; a late answer for an earlier one is
  // recognised by it.
  quint64 generation() const { return generation_; }

  // Read and written on the event-loop thread only. While a request of the slot runs on a
  // worker, the worker has the request's own copy of the session and the database side.
  SlotSession session;
  SlotDatabase database;
  // The slot's own state, for a request carried out on the event-loop thread.
  SlotState Live() { return {number_, session, database}; }

  // A connection came in on the slot: a fresh session that must log on first. A web
  // session brings its own transport; a TCP connection uses the slot's own socket.
  void Begin();
  void Begin(SlotTransport& transport);

  // Lets the slot's client go: work still running for it is stopped (its result is
  // dropped), the connection (or reservation) is closed and its pending input forgotten,
  // the database and set closed (an unsaved query of the client removed), the "User Logoff"
  // row reported where the reason calls for one, the "Current Users" row removed and the
  // display texts cleared. Afterwards the slot is free.
  void Free(FreeReason reason);

  // --- A request running on a worker thread ---
  bool Busy() const { return cancel_ != nullptr; }
  // The request starts: it takes the database side along (the slot keeps an empty one)
  // and stops when `cancel` is set. The slot reads no further input meanwhile.
  SlotDatabase BeginWork(std::shared_ptr<std::atomic<bool>> cancel);
  // The request is done: the session record and database side it worked on come back; a
  // request that ended normally counts as activity.
  void EndWork(SlotSession session, SlotDatabase database, bool active);

  // What a request of the slot produced: its replies go to the slot's transport, its events
  // to the activity list.
  void Deliver(const Replies& out);

  // The slot's facts for an activity row of `code`, taken now (see SlotActivity).
  ActivityEntry Activity(const QByteArray& code);
  // The slot's row of the "Current Users" list.
  CurrentUserRow UsersListRow() const;
  // An accepted logon puts the slot on the "Current Users" list.
  void ShowInUsersList();

 private:
  int number_;
  SlotTransport* own_ = nullptr;
  SlotTransport* transport_ = nullptr;
  ActivityReporter& activity_;
  CurrentUsersModel& usersList_;
  quint64 generation_ = 0;
  // Set while a request of the slot runs on a worker.
  std::shared_ptr<std::atomic<bool>> cancel_;
};

// What a request of the slot produced, on the event-loop thread: the shared changes it asks
// for (the "Current Users" row of an accepted logon, a saved query joining its database's
// list in a new catalogue snapshot), then its replies and events (Deliver).
void ApplyOutcome(ClientSlot& slot, SharedCatalogue& catalogue, const Replies& out);

}  // namespace corvane
