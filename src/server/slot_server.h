#pragma once

#include <QLocale>
#include <QObject>
#include <QString>
#include <functional>
#include <memory>
#include <vector>

#include "activity/activity_reporter.h"
#include "base/database_wait_guard.h"
#include "base/pseudo_random.h"
#include "base/server_settings.h"
#include "base/shared_catalogue.h"
#include "commands/current_users_model.h"
#include "commands/dispatcher.h"
#include "commands/value_text.h"
#include "server/client.h"
#include "server/client_work.h"
#include "server/housekeeping.h"
#include "server/logon_gate.h"
#include "server/request_metrics.h"
#include "transport/tcp/connection_limits.h"
#include "transport/tcp/handshake_listener.h"
#include "transport/web/web_slot_host.h"
#include "users/user_directory.h"

namespace corvane {

// The listener and the table of clients, one per slot, with the worker pools that run
// their database work. Everything here belongs to the event-loop thread, which the server
// marks for its life (EventLoopThreadMark): it must be made, used and destroyed there, and
// nothing it runs there may wait on a database. A client's database work runs on a worker,
// one request of a client at a time, different clients in parallel; its results come back
// as a queued call. The timers are the owner's: it calls RefreshStatus, RenewKeySeed and
// CheckInactivity on their ticks.
class SlotServer : public QObject, public WebSlotHost, private SlotDirectory {
  Q_OBJECT

 public:
  // `databases` opens what clients ask for; `locale` gives the regional formats of value texts (the
  // system's in a running server).
  SlotServer(const ServerSettings& settings, SharedCatalogue& catalogue, UserDirectory& users,
             ActivityReporter& activity, PseudoRandom& random, DatabaseOpener& databases,
             const QLocale& locale, const ConnectionLimits& limits = {}, QObject* parent = nullptr);
  // Frees every client and waits a bounded time for their work and releases.
  ~SlotServer() override;

  // --- Listener ---
  // Listens on ListenPort when the user store holds a user; a listener that is already
  // listening is left alone. A port that cannot be listened on leaves it Closed, silently.
  void StartListening();
  void CloseListener() { listener_.Close(); }
  int ListenerState() const { return listener_.State(); }
  quint16 ListenerPort() const { return listener_.LocalPort(); }

  // --- Clients ---
  // Precondition: IsSlotNumber(slot).
  Client& Slot(int slot) { return *clients_[slot]; }
  int SlotState(int slot) const;
  // The lowest slot that is neither connected nor listening, or -1. A slot whose previous
  // connection is still waiting to be reaped is freed first; one whose last request must
  // still finish is passed over.
  int FindFreeSlot();
  // Carries out one request of the client, on a worker when it does database work: its
  // replies go to the client's transport and its events to the activity list, then `done`
  // runs (also when the client was freed meanwhile).
  void Serve(Client& client, Request request, std::function<void()> done = {});
  int ConnectedCount() const;
  // Slots neither connected nor reserved for a handshake.
  int FreeSlotCount() const;
  // Frees every client (closing reservations too) for `reason`; work still running is
  // stopped.
  void FreeEverySlot(FreeReason reason);

  // --- Web sessions ---
  int OpenSlot(std::shared_ptr<SlotTransport> connection) override;
  void Serve(int slot, const Request& request, std::function<void()> done) override;
  void EndSlot(int slot) override;
  bool LoggedOn(int slot, const SlotTransport& connection) const override;
  qint64 LogonWaitMs(const QString& address) const override { return logons_.WaitMs(address); }
  QString UserName(int slot) const override;
  std::vector<WebFieldShape> OpenFieldShapes(int slot) const override;

  // How long the database work of one request may run: kClientWorkLimitMs unless set.
  // Tests shorten it; it is set before the requests it is meant for are served.
  void SetClientWorkLimit(int ms) { services_.clientWorkLimitMs = ms; }

  CurrentUsersModel& CurrentUsers() { return currentUsers_; }
  // What the requests answered so far add up to.
  RequestMetrics& Metrics() { return metrics_; }
  const ClientWork& Work() const { return work_; }
  const RegionalFormats& Formats() const { return formats_; }

  // --- Work on the workers ---
  // Waits at most `ms` for the work running on the workers, releases of freed clients'
  // databases included; false when some still runs. Exit and the setup's disconnection
  // give running work a moment before stopping it.
  bool WaitForWork(int ms) { return work_.WaitForWork(ms); }
  // After freeing clients whose work ran: waits at most `ms` for the stopped work, takes in
  // its results and waits for the releases of the freed clients' databases.
  void SettleStoppedWork(int ms) { work_.SettleStoppedWork(ms); }
  // The client queries whose removal failed or never ran, for the next start to remove.
  std::vector<LeftQuery> LeftQueries() const { return work_.LeftQueries(); }
  // Runs the operator's own slow work (a server database's test connection) on a worker, so
  // that it never holds the event loop.
  void StartOperatorWork(std::function<void()> work) { work_.StartOperatorWork(std::move(work)); }

  // --- Timer work (see Housekeeping) ---
  const StatusTexts& RefreshStatus();
  const StatusTexts& Status() const { return housekeeping_.Status(); }
  void ReapClosingSlots() { housekeeping_.ReapClosingSlots(); }
  int16_t KeySeed() const { return housekeeping_.KeySeed(); }
  void SetKeySeed(int16_t seed) { housekeeping_.SetKeySeed(seed); }
  void RenewKeySeed() { housekeeping_.RenewKeySeed(); }
  void CheckInactivity() { housekeeping_.CheckInactivity(); }
  void ResetIdleCounts() { housekeeping_.ResetIdleCounts(); }

 Q_SIGNALS:
  void StatusRefreshed();
  // A client query's removal failed: LeftQueries changed.
  void QueryLeft();
  void ListenerError(const QString& description);

 private:
  bool UserNameInUse(const QString& userName, int slot) const override;
  // Reserves a slot for a handshake from `peer`: none when that address already holds its
  // share of slots without a logon.
  quint16 ReserveSlot(const QString& peer);
  // A request's result is back from its worker.
  void FinishWork(ClientJob& job);
  // The client's turn (a request or a hold) ended: its waiting requests are served, and
  // once it is idle a connection that ended meanwhile is freed, or its input resumes.
  void EndTurn(Client& client);
  // The client's own connection ended: the client is freed at once, so that its user may
  // log on again straight away; a request still running finishes first.
  void FreeClosedSlot(Client& client);

  const ServerSettings& settings_;
  // The owner's; requests take the snapshot current when they start.
  SharedCatalogue& catalogue_;
  UserDirectory& users_;
  ActivityReporter& activity_;
  ConnectionLimits limits_;
  RegionalFormats formats_;
  CurrentUsersModel currentUsers_;
  ClientTable clients_;
  RequestMetrics metrics_;
  Housekeeping housekeeping_;
  CommandServices services_;
  Dispatcher dispatcher_;
  // What a request that does not read the catalogue is handed.
  const std::shared_ptr<const Catalogue> noCatalogue_ = std::make_shared<const Catalogue>();
  ClientWork work_;
  LogonGate logons_;
  HandshakeListener listener_;
  // Last: gone first, so that what the workers left undone when they are destroyed does
  // not count as a wait of the loop.
  EventLoopThreadMark loopMark_;
};

}  // namespace corvane
