#include "server/client_work.h"

#include <QMetaObject>
#include <QThread>
#include <algorithm>
#include <chrono>

namespace corvane {
namespace {

int MsLeft(std::chrono::steady_clock::time_point until) {
  return std::max<int>(0, static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                               until - std::chrono::steady_clock::now())
                                               .count()));
}

std::chrono::steady_clock::time_point MsFromNow(int ms) {
  return std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
}

}  // namespace

ClientWork::ClientWork(Dispatcher& dispatcher, std::function<void(ClientJob&)> finished,
                       QObject* parent)
    : QObject(parent),
      dispatcher_(dispatcher),
      finished_(std::move(finished)),
      quickWorkers_(std::max(kMinimumWorkers, QThread::idealThreadCount())),
      longWorkers_(std::max(kMinimumWorkers, QThread::idealThreadCount()), kLongWorkNice,
                   kMostLongWorkers),
      serverWorkers_(kServerDatabaseWorkers) {}

ClientWork::~ClientWork() = default;

void ClientWork::Start(Client& client, Request request, std::function<void()> done,
                       std::shared_ptr<const Catalogue> catalogue) {
  auto job = std::make_shared<ClientJob>();
  job->slot = client.number();
  job->generation = client.generation();
  // Only a request with a command runs on a worker.
  const CommandDescriptor& command = *request.command;
  job->mayTakeLong = command.Has(kMayTakeLong);
  job->request = std::move(request);
  job->done = std::move(done);
  // The client holds the flag through the job, which lives as long as either needs it.
  job->database =
      client.BeginWork(std::shared_ptr<std::atomic<bool>>(job, &job->cancel), job->mayTakeLong);
  job->session = client.session();
  job->catalogue = std::move(catalogue);
  if (command.Has(kChangesSchema) && job->database.database()) {
    job->schemaDatabase = job->database.database()->Name();
    TakeSchemaTurn(job->schemaDatabase, [this, job] { Launch(job); });
    return;
  }
  Launch(job);
}

void ClientWork::Launch(const std::shared_ptr<ClientJob>& job) {
  const Database* database = job->database.database();
  WorkerPool& workers = job->mayTakeLong                        ? longWorkers_
                        : database && database->WaitsOnServer() ? serverWorkers_
                                                                : quickWorkers_;
  workers.Start([this, job] {
    // A client freed before its request began needs nothing done.
    if (!job->cancel.load()) {
      job->database.SetCancelFlag(&job->cancel);
      // Without its database's turn, the request leaves the removal of a query to it.
      job->database.HoldBackRemovals(job->schemaDatabase.isEmpty());
      job->out = dispatcher_.Execute({job->slot, job->session, job->database}, job->request,
                                     *job->catalogue);
      job->database.HoldBackRemovals(false);
      job->database.SetCancelFlag(nullptr);
    }
    PostFinished(job, std::nullopt);
  });
}

void ClientWork::TakeSchemaTurn(const QString& database, std::function<void()> launch) {
  if (schemaBusy_.contains(database)) {
    schemaQueue_[database].append(std::move(launch));
    return;
  }
  schemaBusy_.insert(database);
  launch();
}

void ClientWork::EndSchemaTurn(const QString& database) {
  if (database.isEmpty()) return;
  QList<std::function<void()>>& waiting = schemaQueue_[database];
  if (waiting.isEmpty()) {
    schemaQueue_.remove(database);
    schemaBusy_.remove(database);
  } else {
    waiting.takeFirst()();
  }
}

void ClientWork::Remove(SlotDatabase side) {
  const Database* db = side.database();
  if (!db) return;
  FinishedRemoval removal{db->Name(), {db->Name(), side.createdQuery()}, {}};
  removing_.push_back(removal.query);
  WorkerPool& workers = db->WaitsOnServer() ? serverWorkers_ : longWorkers_;
  auto held = std::make_shared<SlotDatabase>(std::move(side));
  TakeSchemaTurn(removal.database, [this, &workers, held, removal]() mutable {
    workers.Start([this, held, removal = std::move(removal)]() mutable {
      held->Close();
      removal.left = held->TakeLeftQueries();
      PostFinished(nullptr, std::move(removal));
    });
  });
}

void ClientWork::PostFinished(std::shared_ptr<ClientJob> job,
                              std::optional<FinishedRemoval> removal) {
  bool first = false;
  {
    std::lock_guard<std::mutex> lock(finishedMutex_);
    first = finishedJobs_.empty() && finishedRemovals_.empty();
    if (job) finishedJobs_.push_back(std::move(job));
    if (removal) finishedRemovals_.push_back(std::move(*removal));
  }
  // One call takes in everything finished until it runs. Named, not a functor: the thread
  // checker sees no race through Qt's queue for a call that carries no state of its own.
  if (first) QMetaObject::invokeMethod(this, "TakeInFinishedWork", Qt::QueuedConnection);
}

void ClientWork::TakeInFinishedWork() { TakeFinishedWork(); }

bool ClientWork::TakeFinishedWork() {
  std::vector<std::shared_ptr<ClientJob>> jobs;
  std::vector<FinishedRemoval> removals;
  {
    std::lock_guard<std::mutex> lock(finishedMutex_);
    jobs.swap(finishedJobs_);
    removals.swap(finishedRemovals_);
  }
  for (FinishedRemoval& removal : removals) {
    const auto ran = std::find(removing_.begin(), removing_.end(), removal.query);
    if (ran != removing_.end()) removing_.erase(ran);
    EndSchemaTurn(removal.database);
    NoteLeft(std::move(removal.left));
  }
  for (const std::shared_ptr<ClientJob>& job : jobs) {
    EndSchemaTurn(job->schemaDatabase);
    for (SlotDatabase& side : job->database.TakeRemovals()) Remove(std::move(side));
    NoteLeft(job->database.TakeLeftQueries());
    finished_(*job);
  }
  return !jobs.empty() || !removals.empty();
}

void ClientWork::NoteLeft(std::vector<LeftQuery> left) {
  if (left.empty()) return;
  leftQueries_.insert(leftQueries_.end(), left.begin(), left.end());
  Q_EMIT QueryLeft();
}

std::vector<LeftQuery> ClientWork::LeftQueries() const {
  std::vector<LeftQuery> left = leftQueries_;
  left.insert(left.end(), removing_.begin(), removing_.end());
  return left;
}

void ClientWork::Release(SlotDatabase database) {
  if (!database.createdQuery().isEmpty()) Remove(database.TakeCreatedQuery());
  const Database* db = database.database();
  if (!db) return;
  WorkerPool& workers = db->WaitsOnServer() ? serverWorkers_ : longWorkers_;
  auto held = std::make_shared<SlotDatabase>(std::move(database));
  workers.Start([held] { held->Close(); });
}

bool ClientWork::WaitForWork(int ms) {
  const auto until = MsFromNow(ms);
  const bool longDone = longWorkers_.WaitForDone(ms);
  const bool serverDone = serverWorkers_.WaitForDone(MsLeft(until));
  return quickWorkers_.WaitForDone(MsLeft(until)) && longDone && serverDone;
}

void ClientWork::SettleStoppedWork(int ms) {
  WaitForWork(ms);
  // Taken in here, the results do not wait for the event loop, which may not run again; a
  // removal's end may start the next one under its database's turn.
  const auto until = MsFromNow(ms);
  while (TakeFinishedWork() && WaitForWork(MsLeft(until))) {
  }
  TakeFinishedWork();
}

}  // namespace corvane
