#include "server/client.h"

#include <QMetaObject>
#include <algorithm>
#include <climits>
#include <utility>
#include <vector>

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
      return state == kSocketConnected || SocketEnded(state);
    case FreeReason::kNoLogon:
    case FreeReason::kDisconnectAll:
    case FreeReason::kShutdown:
      return false;
  }
  return false;
}

}  // namespace

Client::Client(int number, const ClientServices& services)
    : number_(number),
      services_(services),
      // The socket reads and writes with the keys of the client's session.
      socket_(std::make_unique<SlotSocket>(session_, services.settings, services.random,
                                           services.limits)),
      transport_(socket_.get()) {
  holdTimer_.setSingleShot(true);
  // A coarse timer may end a hold up to 5 % early, before the address may log on again.
  holdTimer_.setTimerType(Qt::PreciseTimer);
  QObject::connect(&holdTimer_, &QTimer::timeout, [this] {
    holdDropped_ = nullptr;
    const std::function<void()> then = std::exchange(holdThen_, {});
    if (then) then();
  });
}

Client::~Client() = default;

quint16 Client::Reserve(const QString& peer) {
  if (!socket_->Listen(0)) return 0;
  reservedFor_ = peer;
  return socket_->LocalPort();
}

bool Client::UnloggedFrom(const QString& peer) const {
  if (!OnSocket()) return false;
  switch (socket_->State()) {
    case kSocketListening:
      return reservedFor_ == peer;
    case kSocketConnected:
      return !session_.LogonAccepted && socket_->PeerAddress() == peer;
    default:
      return false;
  }
}

void Client::Begin() { BeginConnection(*socket_); }

void Client::Begin(std::shared_ptr<SlotTransport> connection) {
  web_ = std::move(connection);
  BeginConnection(*web_);
}

void Client::BeginConnection(SlotTransport& transport) {
  transport_ = &transport;
  ++generation_;
  session_.FreshConnection = true;
  session_.LogonAccepted = false;
}

void Client::Queue(Request request, std::function<void()> done) {
  pending_.push_back({std::move(request), std::move(done)});
}

std::optional<PendingRequest> Client::TakePending() {
  if (Occupied() || pending_.empty()) return std::nullopt;
  PendingRequest next = std::move(pending_.front());
  pending_.pop_front();
  return next;
}

bool Client::ConnectionEnded() const { return OnSocket() && SocketEnded(socket_->State()); }

void Client::Hold(qint64 ms, std::function<void()> then, std::function<void()> dropped) {
  holdThen_ = std::move(then);
  holdDropped_ = std::move(dropped);
  transport_->PauseInput();
  holdTimer_.start(static_cast<int>(std::clamp<qint64>(ms, 0, INT_MAX)));
}

void Client::EndHoldSoon() {
  if (Held()) holdTimer_.start(0);
}

SlotDatabase Client::BeginWork(std::shared_ptr<std::atomic<bool>> cancel, bool mayTakeLong) {
  cancel_ = std::move(cancel);
  longWork_ = mayTakeLong;
  transport_->PauseInput();
  return std::exchange(database_, SlotDatabase());
}

void Client::EndWork(SlotSession worked, SlotDatabase workedDatabase, bool active) {
  cancel_.reset();
  const int16_t idle = active ? 0 : session_.IdleMinutes;
  session_ = std::move(worked);
  session_.IdleMinutes = idle;
  database_ = std::move(workedDatabase);
}

void Client::Apply(const Replies& out) {
  if (out.LogonResult() == LogonOutcome::kAccepted) {
    services_.usersList.RemoveSlot(number_);
    services_.usersList.AddRow(UsersListRow());
  }
  if (out.savedQuery) {
    const int16_t d = out.savedQuery->database;
    const QString& name = out.savedQuery->name;
    const std::vector<QStringList>& lists = services_.catalogue.Current().queryLists;
    if (d >= 0 && static_cast<size_t>(d) < lists.size() &&
        !lists[d].contains(name, Qt::CaseInsensitive)) {
      services_.catalogue.Change([d, &name](Catalogue& next) { next.queryLists[d].append(name); });
    }
  }
  for (const Reply& reply : out.replies) transport_->Send(reply);
  for (const ActivityEntry& event : out.events) services_.activity.LogActivity(event);
  for (const ActivityNote& note : out.notes) services_.activity.LogNote(note.text, note.user);
  if (out.discardPendingInput) transport_->DiscardPendingInput();
}

CurrentUserRow Client::UsersListRow() const {
  CurrentUserRow row;
  row.localPort = QString::number(transport_->LocalPort());
  row.user = session_.SlotUserName;
  row.remoteAddress = session_.SlotRemoteAddress;
  row.database = session_.SlotDatabaseName;
  row.object = session_.SlotObjectName;
  row.slot = number_;
  return row;
}

void Client::Free(FreeReason reason) {
  if (cancel_) {
    // The worker stops at its next step; its result is dropped and its database released.
    cancel_->store(true);
    cancel_.reset();
  }
  // The row names the user, not what was open: the database side is gone by then.
  SlotDatabase database = std::exchange(database_, SlotDatabase());
  if (ReportsLogoff(reason, transport_->State())) {
    services_.activity.LogActivity(Activity("Logoff"));
  }
  services_.usersList.RemoveSlot(number_);
  transport_->Close();
  transport_ = socket_.get();
  web_.reset();
  ++generation_;
  reservedFor_.clear();
  holdTimer_.stop();
  holdThen_ = nullptr;
  const std::function<void()> dropped = std::exchange(holdDropped_, {});
  ClearSlotText(session_);
  session_.FreshConnection = false;
  session_.IdleMinutes = 0;
  std::deque<PendingRequest> unserved = std::exchange(pending_, {});
  services_.release.Release(std::move(database));
  if (dropped) dropped();
  // Whoever waits for a dropped request is answered as for a freed slot, once whatever
  // freed this one has finished.
  std::vector<std::function<void()>> answers;
  for (PendingRequest& request : unserved) {
    if (request.done) answers.push_back(std::move(request.done));
  }
  if (!answers.empty()) {
    QMetaObject::invokeMethod(
        socket_.get(),
        [answers = std::move(answers)] {
          for (const std::function<void()>& answer : answers) answer();
        },
        Qt::QueuedConnection);
  }
}

}  // namespace corvane
