#pragma once

#include <QHash>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "base/catalogue.h"
#include "commands/dispatcher.h"
#include "commands/replies.h"
#include "commands/slot_database.h"
#include "protocol/request.h"
#include "protocol/slot_session.h"
#include "server/client.h"
#include "server/request_metrics.h"
#include "server/worker_pool.h"

namespace corvane {

// Database work runs in two pools of worker threads: quick requests (moves, record replies,
// edits) on one of as many threads as there are cores (at least kMinimumWorkers), and those
// that may take long (opening sets, sorts, finds, client queries) on the other, at a lower
// priority, so that on a busy machine a client's sort never takes the processor from
// another's "Next". The long-work pool grows to a thread per client (a client runs one
// request at a time): however many clients sort, another's open never waits for a thread.
inline constexpr int kMinimumWorkers = 2;
inline constexpr int kLongWorkNice = 5;
// Beyond the clients: the releases of freed clients' databases and the operator's work.
inline constexpr int kMostLongWorkers = kSlotCount + kMinimumWorkers;
// Threads for the quick requests on server databases, which wait on the network for most
// of their time: as many as the connections one server keeps to each (kServerPoolSize).
inline constexpr int kServerDatabaseWorkers = 8;

// One request of a client on its way through a worker. The worker has the request's own
// session record and database side; the client keeps its session for the event-loop thread.
struct ClientJob {
  int slot = 0;
  quint64 generation = 0;
  Request request;
  SlotSession session;
  SlotDatabase database;
  std::shared_ptr<const Catalogue> catalogue;
  // Set when the client is freed meanwhile.
  std::atomic<bool> cancel{false};
  std::function<void()> done;
  bool mayTakeLong = false;
  // The database whose schema the request may change, while it holds that database's turn.
  QString schemaDatabase;
  Replies out;
  // When the request was taken up, for its latency.
  RequestMetrics::Clock::time_point began = RequestMetrics::Clock::now();
};

// The clients' database work on the worker pools: requests, one at a time per client and
// different clients in parallel, with the changes of one database's schema (storing and
// removing client queries) one at a time; and the release of freed clients' database sides.
// Results come back to the event-loop thread as one queued call for everything finished
// meanwhile.
class ClientWork : public QObject, public DatabaseRelease {
  Q_OBJECT

 public:
  // `finished` takes each request's job back, on the event-loop thread.
  ClientWork(Dispatcher& dispatcher, std::function<void(ClientJob& job)> finished,
             QObject* parent = nullptr);
  // Waits for the work still running; work still queued is dropped.
  ~ClientWork() override;

  // Carries out the request on a worker with the client's database side and a copy of its
  // session; `catalogue` is the snapshot it reads.
  void Start(Client& client, Request request, std::function<void()> done,
             std::shared_ptr<const Catalogue> catalogue);
  // The database side of a freed client is closed on a worker: on the one for server
  // databases, or among the work that may take long for a file (a checkpoint, another
  // program's lock). A query the client did not save is removed under its database's turn.
  void Release(SlotDatabase database) override;
  // The client queries whose removal failed, or had not run when the work stopped: removed
  // at the next start instead.
  std::vector<LeftQuery> LeftQueries() const;
  // Runs the operator's own slow work (a server database's test connection) on a worker of
  // the long-work pool, so that it never holds the event loop.
  void StartOperatorWork(std::function<void()> work) { longWorkers_.Start(std::move(work)); }
  // Work handed to each pool that no worker has taken up yet.
  int QuickWaiting() const { return quickWorkers_.Waiting(); }
  int LongWaiting() const { return longWorkers_.Waiting(); }
  int ServerWaiting() const { return serverWorkers_.Waiting(); }

  // Waits at most `ms` for the work running or queued on the workers, releases included;
  // false when some still runs.
  bool WaitForWork(int ms);
  // After freeing clients whose work ran: waits at most `ms` for the stopped work, takes in
  // its results (releasing the freed clients' databases) and waits at most `ms` again for
  // the releases and the removals of their queries.
  void SettleStoppedWork(int ms);

 Q_SIGNALS:
  // A client query's removal failed: LeftQueries changed.
  void QueryLeft();

 private Q_SLOTS:
  // The queued call of PostFinished.
  void TakeInFinishedWork();

 private:
  // A client query's removal done on a worker, with its database's turn to end.
  struct FinishedRemoval {
    QString database;
    LeftQuery query;
    std::vector<LeftQuery> left;
  };

  // The work the workers finished since the last call, on the event-loop thread; false when
  // there was none.
  bool TakeFinishedWork();
  void Launch(const std::shared_ptr<ClientJob>& job);
  // `launch` runs once no other change of the database's schema runs (at once, or when the
  // one before ends its turn).
  void TakeSchemaTurn(const QString& database, std::function<void()> launch);
  // The next change of the database's schema may run.
  void EndSchemaTurn(const QString& database);
  // Removes the unsaved query of `side` (see SlotDatabase::TakeCreatedQuery) under its
  // database's turn, then closes the side.
  void Remove(SlotDatabase side);
  // On a worker: the work is done and waits for the event-loop thread.
  void PostFinished(std::shared_ptr<ClientJob> job, std::optional<FinishedRemoval> removal);
  void NoteLeft(std::vector<LeftQuery> left);

  Dispatcher& dispatcher_;
  std::function<void(ClientJob&)> finished_;
  // Changes of a database's schema (storing and deleting queries) run one at a time per
  // database: the databases with such a change running, and the work waiting for them.
  QSet<QString> schemaBusy_;
  QHash<QString, QList<std::function<void()>>> schemaQueue_;
  // Removals queued or running, and those that failed.
  std::vector<LeftQuery> removing_;
  std::vector<LeftQuery> leftQueries_;
  // Work the workers finished and the event-loop thread has not taken in yet.
  std::mutex finishedMutex_;
  std::vector<std::shared_ptr<ClientJob>> finishedJobs_;
  std::vector<FinishedRemoval> finishedRemovals_;
  // Last: destroyed first, they wait for the work still running, which uses the rest.
  WorkerPool quickWorkers_;
  WorkerPool longWorkers_;
  WorkerPool serverWorkers_;
};

}  // namespace corvane
