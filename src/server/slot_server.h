#pragma once

#include <QHash>
#include <QList>
#include <QLocale>
#include <QObject>
#include <QSet>
#include <QString>
#include <QTimer>
#include <array>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "activity/activity_reporter.h"
#include "base/pseudo_random.h"
#include "base/server_settings.h"
#include "base/shared_catalogue.h"
#include "commands/client_slot.h"
#include "commands/current_users_model.h"
#include "commands/dispatcher.h"
#include "commands/logon.h"
#include "commands/value_text.h"
#include "protocol/logon_throttle.h"
#include "server/worker_pool.h"
#include "transport/tcp/connection_limits.h"
#include "transport/tcp/handshake_listener.h"
#include "transport/tcp/slot_socket.h"
#include "transport/web/web_slot_host.h"
#include "users/user_directory.h"

namespace corvane {

// Database work runs on at least this many worker threads (as many as there are cores), in
// two pools: quick requests (moves, record replies, edits) on one, and those that may take
// long (opening sets, sorts, finds, client queries) on the other, at a lower priority, so
// that on a busy machine a client's sort never takes the processor from another's "Next".
inline constexpr int kMinimumWorkers = 2;
inline constexpr int kLongWorkNice = 5;
// Threads for the quick requests on server databases, which wait on the network for most
// of their time: as many as the connections one server keeps to each (kServerPoolSize).
inline constexpr int kServerDatabaseWorkers = 8;

// The three panels of the status bar.
struct StatusTexts {
  QString status;  // "Status: " + the listener's state text (+ "   Maximum Users Allowed")
  QString port;    // "Port: " + the listener's port
  QString users;   // "Users: " + the number of logged-on slots
};

// The listener, the 100 client slots with their sockets, the dispatcher, and the
// housekeeping over them. Everything here belongs to the event-loop thread, except the
// database work of the slots: that runs on a small pool of worker threads, one request of a
// slot at a time (its next request is read when the previous one is done), different slots
// in parallel. A request's results come back to the event-loop thread as a queued call. The
// timers are the owner's: it calls RefreshStatus, RenewKeySeed and CheckInactivity on
// their ticks.
class SlotServer : public QObject, public WebSlotHost, private SlotDirectory {
  Q_OBJECT

 public:
  // `databases` opens what clients ask for; `locale` gives the regional formats of value texts (the
  // system's in a running server).
  SlotServer(const ServerSettings& settings, SharedCatalogue& catalogue, UserDirectory& users,
             ActivityReporter& activity, PseudoRandom& random, DatabaseOpener& databases,
             const QLocale& locale, const ConnectionLimits& limits = {}, QObject* parent = nullptr);
  ~SlotServer() override;

  // --- Listener ---
  // Listens on ListenPort when the user store holds a user; a listener that is already
  // listening is left alone. A port that cannot be listened on leaves it Closed, silently.
  void StartListening();
  void CloseListener();
  int ListenerState() const { return listener_.State(); }
  quint16 ListenerPort() const { return listener_.LocalPort(); }

  // --- Slots ---
  // Precondition: IsSlotNumber(slot).
  ClientSlot& Slot(int slot) { return *slots_[slot]; }
  int SlotState(int slot) const;
  // The lowest slot that is neither connected nor listening, or -1. A slot whose previous
  // connection is still waiting to be reaped is freed first.
  int FindFreeSlot();
  // Carries out one request of the slot, on a worker when it does database work: its
  // replies go to the slot's transport and its events to the activity list, then `done`
  // runs (also when the slot was freed meanwhile).
  void Serve(ClientSlot& slot, Request request, std::function<void()> done = {});

  // --- Web sessions ---
  int OpenSlot(SlotTransport& connection) override;
  void Serve(int slot, const Request& request, std::function<void()> done) override;
  void EndSlot(int slot) override;
  bool LoggedOn(int slot, const SlotTransport& connection) const override;
  qint64 LogonWaitMs(const QString& address) const override;
  QString UserName(int slot) const override;
  std::vector<WebFieldShape> OpenFieldShapes(int slot) const override;

  // How long the database work of one request may run: kClientWorkLimitMs unless set.
  // Tests shorten it; it is set before the requests it is meant for are served.
  void SetClientWorkLimit(int ms) { services_.clientWorkLimitMs = ms; }

  CurrentUsersModel& CurrentUsers() { return currentUsers_; }
  const StatusTexts& Status() const { return status_; }
  const RegionalFormats& Formats() const { return formats_; }

  // --- Housekeeping ---
  // Frees every slot whose peer closed or whose connection failed: "Logoff" for each.
  void ReapClosingSlots();
  // The slot's own connection ended: the slot is freed at once, so that its user may log on
  // again straight away; a request still running finishes first.
  void FreeClosedSlot(ClientSlot& slot);
  // Reaps, closes connections that have not logged on, rebuilds the users list and the
  // status texts.
  const StatusTexts& RefreshStatus();
  int ConnectedCount() const;
  // Frees every slot (closing reservations too) for `reason`; work still running is stopped.
  void FreeEverySlot(FreeReason reason);
  // Waits at most `ms` for the work running on the workers; false when some still runs.
  // Exit and the setup's disconnection give running work a moment before stopping it.
  bool WaitForWork(int ms);
  // After freeing slots whose work ran: waits at most `ms` for the stopped work, takes in
  // its results (releasing the freed slots' databases) and waits for the releases.
  void SettleStoppedWork(int ms);
  // Runs the operator's own slow work (a server database's test connection) on a worker of
  // the long-work pool, so that it never holds the event loop.
  void StartOperatorWork(std::function<void()> work) { longWorkers_.Start(std::move(work)); }

  // --- Timer work ---
  int16_t KeySeed() const { return keySeed_; }
  void SetKeySeed(int16_t seed) { keySeed_ = seed; }
  // Draws the next key seed, 1..126.
  void RenewKeySeed();
  // One minute of the inactivity check. False when InactivityLimit is 0 or less: the caller then
  // stops the timer.
  bool CheckInactivity();
  // Every slot's count starts again from 0 (the setup turned the check on).
  void ResetIdleCounts();

 Q_SIGNALS:
  void StatusRefreshed();
  void ListenerError(const QString& description);

 private Q_SLOTS:
  // The work the workers finished since the last call, on the event-loop thread.
  void TakeFinishedWork();

 private:
  struct Job;
  // A request that came while the slot's previous one still ran (a browser may send its
  // next call before the last is answered); it runs when the slot is free, in order.
  struct Pending {
    quint64 generation = 0;
    Request request;
    std::function<void()> done;
  };
  void ServePending(ClientSlot& slot);
  bool UserNameInUse(const QString& userName, int slot) const override;
  // Reserves a slot for a handshake from `peer`: none when that address already holds its
  // share of slots without a logon.
  quint16 ReserveSlot(const QString& peer);
  int UnloggedSlotsOf(const QString& peer) const;
  // Whether the slot runs a request or is held: either way its next request waits.
  bool Occupied(const ClientSlot& slot) const { return slot.Busy() || Held(slot); }

  // --- Logons (logons.cpp) ---
  static bool IsLogon(const Request& request);
  // Carries out a logon; its outcome counts in the address's run of refusals. The slot's own
  // socket carries it out once its address may try again, and answers a refusal when the
  // address may try again.
  void ServeLogon(ClientSlot& slot, Request request, std::function<void()> done);
  void LogRefusalSummaries();
  // Holds the slot (its input paused) for `ms`, then runs `then` unless the slot was freed
  // meanwhile; its pending requests follow.
  void Hold(ClientSlot& slot, qint64 ms, std::function<void()> then);
  bool Held(const ClientSlot& slot) const;
  void EndHold(int slot);
  void StartWork(ClientSlot& slot, Request request, std::function<void()> done);
  void Launch(const std::shared_ptr<Job>& job);
  // On a worker: the job is done and waits for the event-loop thread.
  void PostFinished(std::shared_ptr<Job> job);
  void FinishWork(const std::shared_ptr<Job>& job);
  // A freed slot's database side is closed on a worker (removing an unsaved query writes).
  void ReleaseDatabase(SlotDatabase database);

  const ServerSettings& settings_;
  // The owner's; requests take the snapshot current when they start.
  SharedCatalogue& catalogue_;
  UserDirectory& users_;
  ActivityReporter& activity_;
  PseudoRandom& random_;
  ConnectionLimits limits_;
  RegionalFormats formats_;
  // The next session key to hand out: kStartKeySeed until the first renewal, then 1..126.
  int16_t keySeed_ = kStartKeySeed;
  CurrentUsersModel currentUsers_;
  CommandServices services_;
  Dispatcher dispatcher_;
  HandshakeListener listener_;
  std::array<std::unique_ptr<SlotSocket>, kSlotCount> sockets_;
  std::array<std::unique_ptr<ClientSlot>, kSlotCount> slots_;
  StatusTexts status_;
  // What a request that does not read the catalogue is handed.
  const std::shared_ptr<const Catalogue> noCatalogue_ = std::make_shared<const Catalogue>();
  // Changes of a database's schema (storing and deleting queries) run one at a time per
  // database: the databases with such a change running, and the requests waiting for them.
  QSet<QString> schemaBusy_;
  QHash<QString, QList<std::shared_ptr<Job>>> schemaQueue_;
  std::array<std::deque<Pending>, kSlotCount> pending_;
  // The address each reserved slot was reserved for.
  std::array<QString, kSlotCount> reservedFor_;
  // Refused logons per address, over TCP and the web alike.
  LogonThrottle logonThrottle_;
  struct HeldSlot {
    QTimer timer;
    quint64 generation = 0;
    std::function<void()> then;
  };
  std::array<HeldSlot, kSlotCount> held_;
  // Jobs the workers finished and the event-loop thread has not taken in yet.
  std::mutex finishedMutex_;
  std::vector<std::shared_ptr<Job>> finished_;
  // Last: destroyed first, they wait for the work still running, which uses the rest.
  WorkerPool quickWorkers_;
  WorkerPool longWorkers_;
  WorkerPool serverWorkers_;
};

}  // namespace corvane
