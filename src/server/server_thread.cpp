#include "server/server_thread.h"

#include <QTimer>
#include <condition_variable>
#include <deque>
#include <mutex>

#include "server/server_instance.h"

namespace corvane {
namespace {

// How often the windows take what changed: a few times a second.
constexpr int kWindowFeedMs = 200;
// While this many batches wait for the windows' thread, the next one waits too; its rows
// pile up, the oldest dropped past kFeedRowLimit (the windows keep no more than that).
constexpr int kBatchesInFlight = 2;
constexpr size_t kFeedRowLimit = 10000;
// Rows the server's own list keeps: the windows keep theirs.
constexpr int kServerSideRows = 100;

}  // namespace

// On the server's thread: gathers what changed for the windows and hands it over every
// kWindowFeedMs.
class ServerThread::Feed : public QObject {
 public:
  Feed(ServerInstance& server, ServerThread& owner) : server_(server), owner_(owner) {
    timer_.setSingleShot(true);
    timer_.setInterval(kWindowFeedMs);
    connect(&timer_, &QTimer::timeout, this, &Feed::Flush);
    connect(&server.ActivityRows(), &ActivityRowsModel::RowAppended, this,
            [this](const ActivityRow& row) {
              rows_.push_back(row);
              if (rows_.size() > kFeedRowLimit) rows_.pop_front();
              Schedule();
            });
    const auto usersChanged = [this] {
      usersChanged_ = true;
      Schedule();
    };
    QAbstractItemModel* users = &server.CurrentUsers();
    connect(users, &QAbstractItemModel::rowsInserted, this, usersChanged);
    connect(users, &QAbstractItemModel::rowsRemoved, this, usersChanged);
    connect(users, &QAbstractItemModel::modelReset, this, usersChanged);
    connect(&server, &ServerInstance::StatusRefreshed, this, [this] {
      statusChanged_ = true;
      Schedule();
    });
  }

 private:
  void Schedule() {
    if (!timer_.isActive()) timer_.start();
  }
  void Flush() {
    if (owner_.batchesInFlight_.load() >= kBatchesInFlight) {
      timer_.start();
      return;
    }
    Batch batch;
    batch.rows.assign(std::make_move_iterator(rows_.begin()), std::make_move_iterator(rows_.end()));
    rows_.clear();
    if (usersChanged_) batch.users = server_.CurrentUsers().Rows();
    if (statusChanged_) batch.status = server_.Status();
    usersChanged_ = statusChanged_ = false;
    ++owner_.batchesInFlight_;
    owner_.OnWindows([&owner = owner_, batch = std::move(batch)]() mutable {
      owner.TakeBatch(std::move(batch));
    });
  }

  ServerInstance& server_;
  ServerThread& owner_;
  std::deque<ActivityRow> rows_;
  bool usersChanged_ = false;
  bool statusChanged_ = false;
  QTimer timer_;
};

// The server's thread: the server is made, runs its event loop and goes, all on it.
class ServerThread::Loop : public QThread {
 public:
  explicit Loop(ServerThread& owner) : owner_(owner) {}

  // Waits until the server is made; its log file's path.
  QString WaitUntilMade() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return madeLog_.has_value(); });
    return *madeLog_;
  }
  // Waits until the server is gone. QThread::wait says so too, but through Qt's own locks,
  // which ThreadSanitizer does not see.
  void WaitUntilEnded() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return ended_; });
  }

 protected:
  void run() override {
    Serve();
    // Told under the lock: the owner may delete this as soon as it sees the end.
    const std::lock_guard lock(mutex_);
    ended_ = true;
    changed_.notify_all();
  }

 private:
  void Serve() {
    ServerInstance server(owner_.programDir_, owner_.toWindows_, owner_.host_);
    server.SetDatabaseCheckProgress(&owner_.toWindows_);
    server.ActivityRows().SetRowLimit(kServerSideRows);
    Feed feed(server, owner_);
    owner_.server_ = &server;
    {
      const std::lock_guard lock(mutex_);
      madeLog_ = server.LogFilePath();
    }
    changed_.notify_all();
    exec();
    owner_.server_ = nullptr;
  }

  ServerThread& owner_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::optional<QString> madeLog_;
  bool ended_ = false;
};

ServerThread::ServerThread(const QString& programDir, OperatorNotices& notices, HostIdentity host,
                           QObject* parent)
    : QObject(parent),
      programDir_(programDir),
      host_(std::move(host)),
      notices_(notices),
      progress_(&silentProgress_),
      toWindows_([this](std::function<void()> call) { OnWindows(std::move(call)); }, progress_,
                 notices_),
      loop_(std::make_unique<Loop>(*this)) {
  loop_->setObjectName(QStringLiteral("server"));
  serverCalls_.moveToThread(loop_.get());
  loop_->start();
  logFilePath_ = loop_->WaitUntilMade();
}

ServerThread::~ServerThread() {
  loop_->quit();
  loop_->wait();
  loop_->WaitUntilEnded();
}

void ServerThread::SetDatabaseCheckProgress(DatabaseCheckProgress* progress) {
  progress_ = progress ? progress : &silentProgress_;
}

void ServerThread::OnServer(std::function<void(ServerInstance&)> op) {
  serverCalls_.Post([this, op = std::move(op)] {
    if (server_) op(*server_);
  });
}

quint64 ServerThread::Remember(QObject* context, std::function<void(std::any&)> deliver) {
  const quint64 id = ++lastAnswer_;
  answers_.emplace(id, Answer{context != nullptr, context, std::move(deliver)});
  return id;
}

void ServerThread::Reply(quint64 id, std::any value) {
  OnWindows([this, id, value = std::move(value)]() mutable {
    const auto answer = answers_.find(id);
    if (answer == answers_.end()) return;
    const Answer taken = std::move(answer->second);
    answers_.erase(answer);
    if (taken.hasContext && !taken.context) return;
    taken.deliver(value);
  });
}

void ServerThread::TakeBatch(Batch batch) {
  --batchesInFlight_;
  activityRows_.AppendRows(std::move(batch.rows));
  if (batch.users) currentUsers_.SetRows(std::move(*batch.users));
  if (batch.status) {
    status_ = std::move(*batch.status);
    Q_EMIT StatusChanged();
  }
}

void ServerThread::Start() {
  OnServer([this](ServerInstance& server) {
    const StartupBranch branch = server.RunStartup();
    server.AfterCheck([this, &server, branch] {
      server.LoadMainWindow();
      OnWindows([this, branch, settings = server.Settings(), status = server.Status()] {
        settings_ = settings;
        status_ = status;
        Q_EMIT StatusChanged();
        Q_EMIT Started(branch);
      });
    });
  });
}

void ServerThread::RefreshStatus() {
  OnServer([](ServerInstance& server) { server.RefreshStatus(); });
}

void ServerThread::CountConnected(QObject* context, std::function<void(int)> counted) {
  const quint64 id = Remember(context, [counted = std::move(counted)](std::any& value) {
    counted(std::any_cast<int>(value));
  });
  OnServer([this, id](ServerInstance& server) { Reply(id, server.ConnectedCount()); });
}

void ServerThread::BeginSetup() {
  OnServer([](ServerInstance& server) { server.BeginSetup(); });
}

void ServerThread::TakeSetupValues(QObject* context,
                                   std::function<void(const SetupValues&)> taken) {
  const quint64 id = Remember(context, [taken = std::move(taken)](std::any& value) {
    taken(std::any_cast<const SetupValues&>(value));
  });
  OnServer([this, id](ServerInstance& server) {
    server.TakeSetupValues([this, id](SetupValues values) { Reply(id, std::move(values)); });
  });
}

void ServerThread::ApplySetup(SetupValues values, QObject* context, std::function<void()> done) {
  const quint64 id = Remember(context, [this, done = std::move(done)](std::any& value) {
    settings_ = std::any_cast<const ServerSettings&>(value);
    done();
  });
  OnServer([this, id, values = std::move(values)](ServerInstance& server) mutable {
    server.ApplySetup(std::move(values), [this, id, &server] { Reply(id, server.Settings()); });
  });
}

void ServerThread::Reload() {
  OnServer([](ServerInstance& server) { server.Reload(); });
}

void ServerThread::EndSetup() {
  OnServer([](ServerInstance& server) { server.EndSetup(); });
}

void ServerThread::PrepareAccessDatabase(const QString& path, QObject* context,
                                         std::function<void(const PublishedAccess&)> prepared) {
  const quint64 id = Remember(context, [prepared = std::move(prepared)](std::any& value) {
    prepared(std::any_cast<const PublishedAccess&>(value));
  });
  OnServer([this, id, path](ServerInstance& server) {
    server.PrepareAccessDatabase(path,
                                 [this, id](const PublishedAccess& access) { Reply(id, access); });
  });
}

void ServerThread::ProbeServerDatabase(const QString& location, QObject* context,
                                       std::function<void(const QString&)> answered) {
  const quint64 id = Remember(context, [answered = std::move(answered)](std::any& value) {
    answered(std::any_cast<const QString&>(value));
  });
  OnServer([this, id, location](ServerInstance& server) {
    server.ProbeServerDatabase(location, [this, id](const QString& answer) { Reply(id, answer); });
  });
}

void ServerThread::ClearLogFile() {
  OnServer([](ServerInstance& server) { server.ClearLogFile(); });
}

void ServerThread::Unload(bool saveSettings, const std::optional<WindowPlacement>& placement) {
  if (unloaded_) return;
  unloaded_ = true;
  RunOnServer([saveSettings, placement](ServerInstance& server) {
    if (saveSettings) server.SaveSettingsFiles();
    server.Unload(placement);
  });
}

bool ServerThread::RunOnServer(const std::function<void(ServerInstance&)>& inspect, int ms) {
  struct Done {
    std::mutex mutex;
    std::condition_variable ran;
    bool done = false;
  };
  auto done = std::make_shared<Done>();
  OnServer([inspect, done](ServerInstance& server) {
    inspect(server);
    {
      const std::lock_guard lock(done->mutex);
      done->done = true;
    }
    done->ran.notify_all();
  });
  std::unique_lock lock(done->mutex);
  return done->ran.wait_for(lock, std::chrono::milliseconds(ms), [&] { return done->done; });
}

}  // namespace corvane
