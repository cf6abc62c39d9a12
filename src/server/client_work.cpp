#include "server/client_work.h"

#include <QMetaObject>
#include <QThread>
#include <algorithm>
#include <chrono>

namespace corvane {

ClientWork::ClientWork(Dispatcher& dispatcher, std::function<void(ClientJob&)> finished,
                       QObject* parent)
    : QObject(parent),
      dispatcher_(dispatcher),
      finished_(std::move(finished)),
      quickWorkers_(std::max(kMinimumWorkers, QThread::idealThreadCount())),
      longWorkers_(std::max(kMinimumWorkers, QThread::idealThreadCount()), kLongWorkNice),
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
  job->database = client.BeginWork(std::shared_ptr<std::atomic<bool>>(job, &job->cancel));
  job->session = client.session();
  job->catalogue = std::move(catalogue);
  if (command.Has(kChangesSchema) && job->database.database()) {
    job->schemaDatabase = job->database.database()->Name();
    if (schemaBusy_.contains(job->schemaDatabase)) {
      schemaQueue_[job->schemaDatabase].append(job);
      return;
    }
    schemaBusy_.insert(job->schemaDatabase);
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
      job->out = dispatcher_.Execute({job->slot, job->session, job->database}, job->request,
                                     *job->catalogue);
      job->database.SetCancelFlag(nullptr);
    }
    PostFinished(job);
  });
}

void ClientWork::PostFinished(std::shared_ptr<ClientJob> job) {
  bool first = false;
  {
    std::lock_guard<std::mutex> lock(finishedMutex_);
    first = finishedJobs_.empty();
    finishedJobs_.push_back(std::move(job));
  }
  // One call takes in everything finished until it runs.
  if (first) QMetaObject::invokeMethod(this, "TakeFinishedWork", Qt::QueuedConnection);
}

void ClientWork::TakeFinishedWork() {
  std::vector<std::shared_ptr<ClientJob>> jobs;
  {
    std::lock_guard<std::mutex> lock(finishedMutex_);
    jobs.swap(finishedJobs_);
  }
  for (const std::shared_ptr<ClientJob>& job : jobs) {
    EndSchemaTurn(*job);
    finished_(*job);
  }
}

void ClientWork::EndSchemaTurn(const ClientJob& job) {
  if (job.schemaDatabase.isEmpty()) return;
  QList<std::shared_ptr<ClientJob>>& waiting = schemaQueue_[job.schemaDatabase];
  if (waiting.isEmpty()) {
    schemaQueue_.remove(job.schemaDatabase);
    schemaBusy_.remove(job.schemaDatabase);
  } else {
    Launch(waiting.takeFirst());
  }
}

void ClientWork::Release(SlotDatabase database) {
  const Database* db = database.database();
  if (!db) return;
  WorkerPool& workers = db->WaitsOnServer() ? serverWorkers_ : longWorkers_;
  auto held = std::make_shared<SlotDatabase>(std::move(database));
  workers.Start([held] { held->Close(); });
}

bool ClientWork::WaitForWork(int ms) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  const auto left = [&until] {
    return std::max<int>(0, static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                                 until - std::chrono::steady_clock::now())
                                                 .count()));
  };
  const bool longDone = longWorkers_.WaitForDone(ms);
  const bool serverDone = serverWorkers_.WaitForDone(left());
  return quickWorkers_.WaitForDone(left()) && longDone && serverDone;
}

void ClientWork::SettleStoppedWork(int ms) {
  WaitForWork(ms);
  // Taken in here, the results do not wait for the event loop, which may not run again.
  TakeFinishedWork();
  WaitForWork(ms);
}

}  // namespace corvane
