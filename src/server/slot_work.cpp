// The slots' database work on the worker threads, and its results back on the event loop.
#include <QMetaObject>
#include <algorithm>
#include <chrono>

#include "server/slot_server.h"

namespace corvane {

// One request of a slot on its way through a worker. The worker has the request's own
// session record and database side; the slot keeps its session for the event-loop thread.
struct SlotServer::Job {
  int slot = 0;
  quint64 generation = 0;
  Request request;
  SlotSession session;
  SlotDatabase database;
  std::shared_ptr<const Catalogue> catalogue;
  // Set when the slot is freed meanwhile.
  std::atomic<bool> cancel{false};
  std::function<void()> done;
  bool mayTakeLong = false;
  // The database whose schema the request may change, while it holds that database's turn.
  QString schemaDatabase;
  Replies out;
};

void SlotServer::StartWork(ClientSlot& slot, Request request, std::function<void()> done) {
  auto job = std::make_shared<Job>();
  job->slot = slot.number();
  job->generation = slot.generation();
  // Only a request with a command runs on a worker.
  const CommandDescriptor& command = *request.command;
  job->mayTakeLong = command.Has(kMayTakeLong);
  job->request = std::move(request);
  job->done = std::move(done);
  // The slot holds the flag through the job, which lives as long as either needs it.
  job->database = slot.BeginWork(std::shared_ptr<std::atomic<bool>>(job, &job->cancel));
  job->session = slot.session;
  // A request that reads the catalogue keeps the snapshot current now, whatever changes
  // meanwhile.
  job->catalogue = command.Has(kReadsCatalogue) ? catalogue_.Snapshot() : noCatalogue_;
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

void SlotServer::Launch(const std::shared_ptr<Job>& job) {
  const Database* database = job->database.database();
  WorkerPool& workers = job->mayTakeLong                        ? longWorkers_
                        : database && database->WaitsOnServer() ? serverWorkers_
                                                                : quickWorkers_;
  workers.Start([this, job] {
    // A slot freed before its request began needs nothing done.
    if (!job->cancel.load()) {
      job->database.SetCancelFlag(&job->cancel);
      job->out = dispatcher_.Execute({job->slot, job->session, job->database}, job->request,
                                     *job->catalogue);
      job->database.SetCancelFlag(nullptr);
    }
    PostFinished(job);
  });
}

void SlotServer::PostFinished(std::shared_ptr<Job> job) {
  bool first = false;
  {
    std::lock_guard<std::mutex> lock(finishedMutex_);
    first = finished_.empty();
    finished_.push_back(std::move(job));
  }
  // One call takes in everything finished until it runs.
  if (first) QMetaObject::invokeMethod(this, "TakeFinishedWork", Qt::QueuedConnection);
}

void SlotServer::TakeFinishedWork() {
  std::vector<std::shared_ptr<Job>> jobs;
  {
    std::lock_guard<std::mutex> lock(finishedMutex_);
    jobs.swap(finished_);
  }
  for (const std::shared_ptr<Job>& job : jobs) FinishWork(job);
}

void SlotServer::FinishWork(const std::shared_ptr<Job>& job) {
  if (!job->schemaDatabase.isEmpty()) {
    // The next change of that database's schema may run now.
    QList<std::shared_ptr<Job>>& waiting = schemaQueue_[job->schemaDatabase];
    if (waiting.isEmpty()) {
      schemaQueue_.remove(job->schemaDatabase);
      schemaBusy_.remove(job->schemaDatabase);
    } else {
      Launch(waiting.takeFirst());
    }
  }
  ClientSlot& slot = *slots_[job->slot];
  if (slot.generation() != job->generation) {
    // The slot was freed meanwhile: the result is dropped.
    ReleaseDatabase(std::move(job->database));
  } else {
    slot.EndWork(std::move(job->session), std::move(job->database), job->out.active);
    ApplyOutcome(slot, catalogue_, job->out);
  }
  if (job->done) job->done();
  ServePending(slot);
  if (Occupied(slot) || slot.generation() != job->generation) return;
  if (&slot.transport() == sockets_[job->slot].get()) {
    // Its connection ended while the request ran.
    FreeClosedSlot(slot);
    if (slot.generation() != job->generation) return;
  }
  slot.transport().ResumeInput();
}

void SlotServer::ServePending(ClientSlot& slot) {
  std::deque<Pending>& pending = pending_[slot.number()];
  while (!Occupied(slot) && !pending.empty()) {
    Pending next = std::move(pending.front());
    pending.pop_front();
    if (next.generation == slot.generation()) {
      Serve(slot, std::move(next.request), std::move(next.done));
    } else if (next.done) {
      // Its client is gone: it is answered as a request to a freed slot.
      next.done();
    }
  }
}

void SlotServer::ReleaseDatabase(SlotDatabase database) {
  if (!database.database()) return;
  auto held = std::make_shared<SlotDatabase>(std::move(database));
  quickWorkers_.Start([held] { held->Close(); });
}

bool SlotServer::WaitForWork(int ms) {
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

void SlotServer::SettleStoppedWork(int ms) {
  WaitForWork(ms);
  // Taken in here, the results do not wait for the event loop, which may not run again.
  TakeFinishedWork();
  WaitForWork(ms);
}

}  // namespace corvane
