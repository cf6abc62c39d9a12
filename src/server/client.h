#pragma once

#include <QByteArray>
#include <QString>
#include <QTimer>
#include <array>
#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>

#include "activity/activity_entry.h"
#include "activity/activity_reporter.h"
#include "base/pseudo_random.h"
#include "base/server_settings.h"
#include "base/shared_catalogue.h"
#include "commands/current_users_model.h"
#include "commands/replies.h"
#include "commands/slot_database.h"
#include "commands/slot_state.h"
#include "protocol/request.h"
#include "protocol/slot_session.h"
#include "protocol/slot_transport.h"
#include "transport/tcp/connection_limits.h"
#include "transport/tcp/slot_socket.h"

namespace corvane {

// Why a client is freed; it decides whether the activity list shows a "User Logoff" row.
enum class FreeReason {
  kPeerClosed,     // the client closed its connection, or the connection failed
  kOverfull,       // the client sent more than a slot may hold without a whole message
  kInactive,       // the inactivity limit was reached
  kClientLeft,     // a web session ended
  kNoLogon,        // no logon came in time: dropped without a word
  kDisconnectAll,  // the operator's setup disconnected everyone
  kShutdown,       // the server ends
};

// Takes the database side of a freed client and releases it away from the event loop:
// closing a set, removing a query the client did not save and a file's last checkpoint may
// all wait on the database.
class DatabaseRelease {
 public:
  virtual ~DatabaseRelease() = default;
  virtual void Release(SlotDatabase database) = 0;
};

// What the clients of one server share; all of it the server's.
struct ClientServices {
  const ServerSettings& settings;
  PseudoRandom& random;
  const ConnectionLimits& limits;
  ActivityReporter& activity;
  CurrentUsersModel& usersList;
  SharedCatalogue& catalogue;
  DatabaseRelease& release;
};

// A request that waits for its client's previous one (a browser may send its next call
// before the last is answered), or for the end of a logon hold.
struct PendingRequest {
  Request request;
  std::function<void()> done;
};

// One client of the server, in its numbered slot, and everything its connection owns: the
// transport (the slot's own TCP socket, or a web session's connection while one holds the
// slot), the session record, the database side, the requests waiting their turn, a logon
// hold and a handshake's reservation. Everything here belongs to the event-loop thread;
// while a request runs on a worker, the worker has the request's own copy of the session
// and the database side. Free is the only way a client is let go.
class Client {
 public:
  Client(int number, const ClientServices& services);
  ~Client();
  Client(const Client&) = delete;
  Client& operator=(const Client&) = delete;

  int number() const { return number_; }
  // Counts the connections the slot has served; a late result for an earlier one is
  // recognised by it.
  quint64 generation() const { return generation_; }

  // --- Transport ---
  SlotTransport& transport() const { return *transport_; }
  SlotSocket& socket() const { return *socket_; }
  // Whether the slot's own socket serves it (no web session holds it).
  bool OnSocket() const { return transport_ == socket_.get(); }
  int State() const { return transport_->State(); }
  // Reserves the slot for a handshake from `peer`: its socket listens on a port of the
  // platform's choosing, which is returned; 0 when it cannot listen.
  quint16 Reserve(const QString& peer);
  // Whether the slot counts toward the address's connections without a logon: reserved
  // for it, or connected from it and not logged on.
  bool UnloggedFrom(const QString& peer) const;
  // A connection came in: a fresh session that must log on first. A TCP connection came
  // to the slot's own socket; a web session brings its connection, held until Free.
  void Begin();
  void Begin(std::shared_ptr<SlotTransport> connection);

  // --- Session and database side ---
  const SlotSession& session() const { return session_; }
  bool LoggedOn() const { return session_.LogonAccepted; }
  const SlotDatabase& database() const { return database_; }
  // The client's own state, for a request carried out on the event-loop thread.
  SlotState Live() { return {number_, session_, database_}; }
  // One more minute without a request; the count starts again from 0.
  void CountIdleMinute() { ++session_.IdleMinutes; }
  void RestartIdleCount() { session_.IdleMinutes = 0; }

  // --- Turns: one request at a time ---
  // A request runs on a worker.
  bool Busy() const { return cancel_ != nullptr; }
  // A logon hold keeps the client waiting.
  bool Held() const { return static_cast<bool>(holdThen_); }
  // Either way, its next request waits.
  bool Occupied() const { return Busy() || Held(); }
  // Its own socket's connection ended (the peer closed it, or it failed).
  bool ConnectionEnded() const;
  // What it sent must still be carried out: a request runs that is not one of those that
  // may take long (opening, sort, find, storing a query: stopped when its client goes), or
  // another waits behind it. An edit sent just before the client left is never cut short.
  bool MustFinish() const { return Busy() && (!longWork_ || !pending_.empty()); }
  void Queue(Request request, std::function<void()> done);
  // The next waiting request, while the client is not occupied.
  std::optional<PendingRequest> TakePending();
  // Holds the client (its input paused) for `ms`, then runs `then`; Free ends the hold
  // without it, running `dropped` instead.
  void Hold(qint64 ms, std::function<void()> then, std::function<void()> dropped = {});
  // Ends the hold at the next turn of the event loop, as if its time had run out.
  void EndHoldSoon();
  // A request starts on a worker: it takes the database side along (the client keeps an
  // empty one) and stops when `cancel` is set. No further input is read meanwhile.
  // `mayTakeLong`: the request is one that may take long (see MustFinish).
  SlotDatabase BeginWork(std::shared_ptr<std::atomic<bool>> cancel, bool mayTakeLong);
  // The request is done: the session record and database side it worked on come back; a
  // request that ended normally counts as activity.
  void EndWork(SlotSession session, SlotDatabase database, bool active);

  // What a request of the client produced, on the event-loop thread: the shared changes it
  // asks for (the "Current Users" row of an accepted logon, a saved query joining its
  // database's list in a new catalogue snapshot), then its replies to the transport and its
  // events and notes to the activity list.
  void Apply(const Replies& out);
  // The client's facts for an activity row of `code`, taken now (see SlotActivity).
  ActivityEntry Activity(const QByteArray& code) { return SlotActivity(Live(), code); }
  // The client's row of the "Current Users" list.
  CurrentUserRow UsersListRow() const;

  // Lets the client go: work still running for it is stopped (its late result is dropped),
  // the "User Logoff" row reported where the reason calls for one, the "Current Users" row
  // removed, the transport (or reservation) closed with its pending input, and the slot made
  // free: a fresh session, no waiting requests (their callers are answered as for a freed
  // slot) and no hold. The database side goes to the server's DatabaseRelease: nothing here
  // touches a database.
  void Free(FreeReason reason);

 private:
  void BeginConnection(SlotTransport& transport);

  int number_;
  ClientServices services_;
  SlotSession session_;
  SlotDatabase database_;
  std::unique_ptr<SlotSocket> socket_;
  // The web session's connection while one holds the slot.
  std::shared_ptr<SlotTransport> web_;
  SlotTransport* transport_ = nullptr;
  quint64 generation_ = 0;
  // The address a reservation was made for.
  QString reservedFor_;
  std::deque<PendingRequest> pending_;
  QTimer holdTimer_;
  std::function<void()> holdThen_;
  std::function<void()> holdDropped_;
  // Set while a request of the client runs on a worker.
  std::shared_ptr<std::atomic<bool>> cancel_;
  bool longWork_ = false;
};

// The clients of a server, one per slot.
using ClientTable = std::array<std::unique_ptr<Client>, kSlotCount>;

}  // namespace corvane
