#include "server/server_instance.h"

#include <QLocale>
#include <algorithm>
#include <climits>
#include <utility>

#include "config/database_check.h"
#include "config/user_list_model.h"

namespace corvane {
namespace {

constexpr int kFirstRefreshMs = 5000;
constexpr int kKeySeedMs = 5000;
constexpr int kInactivityMs = 60000;
// Exit and the setup's disconnection let running requests finish for this long before they
// stop them, then wait this long for the stopped ones.
constexpr int kRunningWorkGraceMs = 2000;
constexpr int kStoppedWorkWaitMs = 2000;
// How often the server databases withdrawn at the last check are tried again.
constexpr int kWithdrawnRetryMs = 30000;

}  // namespace

ServerInstance::ServerInstance(const QString& programDir, OperatorNotices& notices,
                               HostIdentity host, QObject* parent)
    : QObject(parent),
      programDir_(programDir),
      notices_(notices),
      files_(programDir),
      registry_(programDir),
      users_(registry_, programDir),
      activity_(activityRows_, settings_, programDir, std::move(host)),
      checkReports_([this](std::function<void()> call) { Post(std::move(call)); }, checkProgress_,
                    notices),
      accessPublisher_(
          programDir, checkReports_,
          [this](const QString& note) { Post([this, note] { activity_.LogNote(note); }); }),
      slots_(settings_, catalogue_, users_, activity_, random_, databases_, QLocale::system()),
      health_(activity_, [this](const QString& location) { return ServerDatabaseName(location); }),
      webFile_(programDir),
      leftFile_(programDir) {
  connect(&slots_, &SlotServer::StatusRefreshed, this, &ServerInstance::StatusRefreshed);
  connect(&slots_, &SlotServer::QueryLeft, this, &ServerInstance::SaveLeftQueries);
  connect(&slots_, &SlotServer::ListenerError, this, &ServerInstance::OnListenerError);
  connect(&refreshTimer_, &QTimer::timeout, this, &ServerInstance::OnRefreshTick);
  connect(&keySeedTimer_, &QTimer::timeout, this, &ServerInstance::OnKeySeedTick);
  connect(&inactivityTimer_, &QTimer::timeout, this, &ServerInstance::OnInactivityTick);
  connect(&retryTimer_, &QTimer::timeout, this, &ServerInstance::RetryWithdrawnDatabases);
  retryTimer_.setInterval(kWithdrawnRetryMs);
  databases_.SetPoolOptions(PoolOptions());
}

ServerInstance::~ServerInstance() = default;

PgPoolOptions ServerInstance::PoolOptions() {
  // Workers tell; this thread keeps the state and writes the rows.
  return {connectTimeoutSeconds_,
          [this](const QString& location, bool answered, const QString& message) {
            Post([this, location, answered, message] {
              if (!answered)
                slots_.Metrics().CountServerDatabaseFailure(ServerDatabaseName(location));
              health_.Report(location, answered, message);
            });
          },
          pgInUse_, freshMs_};
}

void ServerInstance::SetServerConnectTimeout(int seconds) {
  connectTimeoutSeconds_ = seconds;
  databases_.SetPoolOptions(PoolOptions());
}

void ServerInstance::SetWithdrawnRetryInterval(int ms) { retryTimer_.setInterval(ms); }

QString ServerInstance::ServerDatabaseName(const QString& location) const {
  const QString key = location.trimmed();
  for (const PublishedDatabase& entry : catalogue_.Current().published) {
    if (entry.ServedPath().trimmed() == key) return entry.name;
  }
  for (const Parked& parked : withdrawn_) {
    if (parked.entry.location.trimmed() == key) return parked.entry.name;
  }
  return key;
}

StartupBranch ServerInstance::RunStartup() {
  leftAtStart_ = leftFile_.Load();
  files_.LoadGeneralSettings(settings_);
  webFile_.Load(settings_);
  // Before any server database is opened: a pool keeps the options it was made with.
  freshMs_ = PostgresSettingsFile(programDir_).LoadFreshMs().value_or(kServerFreshMs);
  databases_.SetFreshMs(freshMs_);
  StartMetrics();
  const bool network = files_.LoadNetworkSettings(settings_);
  // Read in every branch: the setup shows the list and saving it writes it back, so a list
  // not read here would be lost.
  bool databases = false;
  catalogue_.Change([&](Catalogue& next) { databases = files_.LoadDatabaseList(next.published); });
  if (!network) return StartupBranch::kNetworkMissing;
  if (!users_.HasUsers()) return StartupBranch::kUsersMissing;
  if (!databases) return StartupBranch::kDatabasesMissing;
  RunDatabaseCheck();
  TakeKnownUsers();
  return StartupBranch::kReady;
}

void ServerInstance::LoadMainWindow() {
  if (unloaded_) return;
  serving_ = true;
  slots_.SetKeySeed(kStartKeySeed);
  files_.LoadWindowPlacement(settings_);
  slots_.StartListening();
  slots_.RefreshStatus();
  activity_.LogServerEvent("ServerStart");
  ApplyWebSetting();
  refreshTimer_.start(kFirstRefreshMs);
  keySeedTimer_.start(kKeySeedMs);
  inactivityTimer_.start(kInactivityMs);
}

void ServerInstance::SaveSettingsFiles() {
  files_.SaveDatabaseList(DatabaseDatOrder());
  files_.SaveNetworkSettings(settings_);
  files_.SaveGeneralSettings(settings_);
  webFile_.Save(settings_);
}

void ServerInstance::ApplyWebSetting() {
  web_.reset();
  if (!WebPortUsable(settings_.WebPort)) return;
  web_ = std::make_unique<WebServer>(slots_, programDir_, &activity_);
  if (!web_->Start(static_cast<quint16>(settings_.WebPort))) web_.reset();
}

void ServerInstance::Unload(const std::optional<WindowPlacement>& placement) {
  unloaded_ = true;
  afterCheck_.clear();
  refreshTimer_.stop();
  keySeedTimer_.stop();
  inactivityTimer_.stop();
  retryTimer_.stop();
  slots_.WaitForWork(kRunningWorkGraceMs);
  slots_.FreeEverySlot(FreeReason::kShutdown);
  slots_.SettleStoppedWork(kStoppedWorkWaitMs);
  SaveLeftQueries();
  if (placement) {
    settings_.WindowTop = placement->top;
    settings_.WindowLeft = placement->left;
    settings_.WindowWidth = placement->width;
    settings_.WindowHeight = placement->height;
    files_.SaveWindowPlacement(settings_);
  }
  slots_.CloseListener();
  web_.reset();
  metrics_.reset();
  activity_.LogServerEvent("ServerShutdown");
}

void ServerInstance::RunDatabaseCheck() {
  // A reload on its worker may be importing the same Access files: the check follows it.
  if (checking_ || reloading_) {
    checkAgain_ = true;
    return;
  }
  checking_ = true;
  checkAgain_ = false;
  PublishedList published = DatabaseDatOrder();
  withdrawn_.clear();
  outOfPlace_.clear();
  unreadable_.clear();
  reloadedOrder_.reset();
  // While the check runs, the list it checks is the current one (the activity rows of the
  // server databases it reaches name them by it); its lists follow when it is done.
  catalogue_.Replace({published, std::vector<QStringList>(published.size()),
                      std::vector<QStringList>(published.size())});
  // No client is connected before the first check, nor during a setup's.
  std::vector<LeftQuery> left = std::exchange(leftAtStart_, {});
  OnWorker([this, published = std::move(published), left = std::move(left)]() mutable {
    const PublishedList before = published;
    accessPublisher_.PrepareList(published);
    if (!left.empty()) {
      std::vector<LeftQuery> unreached = RemoveLeftQueries(databases_, published, left);
      Post([this, unreached = std::move(unreached)]() mutable {
        stillLeft_ = std::move(unreached);
        SaveLeftQueries();
      });
    }
    DatabaseCheck check(databases_, checkReports_, checkReports_);
    Catalogue checked = check.Run(std::move(published));
    Post([this, checked = std::move(checked), before]() mutable {
      FinishCheck(std::move(checked), before);
    });
  });
}

void ServerInstance::SaveLeftQueries() {
  std::vector<LeftQuery> left = leftAtStart_;
  left.insert(left.end(), stillLeft_.begin(), stillLeft_.end());
  for (const LeftQuery& query : slots_.LeftQueries()) left.push_back(query);
  leftFile_.Save(left);
}

void ServerInstance::FinishCheck(Catalogue checked, const PublishedList& before) {
  catalogue_.Replace(std::move(checked));
  checking_ = false;
  // A server that is ending starts no further work: no second check, no retries.
  if (unloaded_) return;
  WithdrawUnanswered(before);
  if (checkAgain_) {
    RunDatabaseCheck();
    return;
  }
  UpdateRetryTimer();
  std::vector<std::function<void()>> waiting;
  waiting.swap(afterCheck_);
  for (const auto& then : waiting) then();
  if (std::exchange(reloadAgain_, false)) Reload();
}

void ServerInstance::AfterCheck(std::function<void()> then) {
  if (checking_ || (reloading_ && checkAgain_)) {
    afterCheck_.push_back(std::move(then));
  } else {
    then();
  }
}

void ServerInstance::SetDatabaseCheckProgress(DatabaseCheckProgress* progress) {
  checkProgress_ = progress ? progress : &silentProgress_;
}

void ServerInstance::BeginSetup() {
  const int disconnected = slots_.ConnectedCount();
  if (disconnected > 0) slots_.WaitForWork(kRunningWorkGraceMs);
  slots_.FreeEverySlot(FreeReason::kDisconnectAll);
  if (disconnected > 0) slots_.SettleStoppedWork(kStoppedWorkWaitMs);
  activity_.LogServerEvent("SetupRun", disconnected);
  slots_.CurrentUsers().Clear();
  slots_.CloseListener();
  web_.reset();
}

void ServerInstance::TakeSetupValues(std::function<void(SetupValues)> taken) {
  SetupValues values{settings_, {}, {}};
  for (const PublishedDatabase& entry : catalogue_.Current().published) {
    if (!entry.withdrawn) values.published.push_back(entry);
  }
  OnWorker([this, values = std::move(values), taken = std::move(taken)]() mutable {
    UserListModel stored;
    users_.LoadUsers(stored);
    values.users = stored.Users();
    Post([values = std::move(values), taken = std::move(taken)] { taken(values); });
  });
}

void ServerInstance::ApplySetup(SetupValues values, std::function<void()> done) {
  const ServerSettings& v = values.settings;
  settings_.ListenPort = v.ListenPort;
  settings_.WebPort = v.WebPort;
  settings_.RunAtStartup = v.RunAtStartup;
  settings_.RunMinimized = v.RunMinimized;
  settings_.KeepLogFile = v.KeepLogFile;
  settings_.EncryptionEnabled = v.EncryptionEnabled;
  settings_.AllowMultipleLogons = v.AllowMultipleLogons;
  settings_.InactivityLimit = v.InactivityLimit;
  settings_.RefreshRate = v.RefreshRate;
  catalogue_.Change([&values](Catalogue& next) { next.published = values.published; });
  // The setup showed the databases offered again at the end of the list, and saved its
  // own order.
  outOfPlace_.clear();
  reloadedOrder_.reset();
  ApplyInactivitySetting();
  // A running timer takes the new rate at its next tick; one a rate of 0 stopped starts
  // again now, or the lists would stay stale until a restart.
  if (!refreshTimer_.isActive()) ScheduleRefresh();
  users_.SetRunAtStartup(SettingValue(settings_.RunAtStartup) != 0);
  // What the operator saved is on disk now, however the program ends later.
  SaveSettingsFiles();
  // The user store is a database file: written on a worker, then the check runs.
  OnWorker([this, users = std::move(values.users), done = std::move(done)]() mutable {
    UserListModel listed;
    for (const UserRecord& user : users) listed.Append(user);
    users_.SaveUsers(listed);
    users_.RemoveStaleUsers(listed);
    Post([this, stored = ReadStoredUsers(), done = std::move(done)]() mutable {
      if (stored) knownUsers_ = std::move(stored);
      if (unloaded_) return;
      RunDatabaseCheck();
      AfterCheck([this, done = std::move(done)] {
        EndSetup();
        if (done) done();
      });
    });
  });
}

void ServerInstance::EndSetup() {
  if (unloaded_) return;
  slots_.StartListening();
  // The web port may have changed; web access starts again on it, or stays off.
  ApplyWebSetting();
}

void ServerInstance::PrepareAccessDatabase(const QString& path,
                                           std::function<void(const PublishedAccess&)> prepared) {
  OnWorker([this, path, prepared = std::move(prepared)]() mutable {
    PublishedAccess access = accessPublisher_.Prepare(path);
    Post([access = std::move(access), prepared = std::move(prepared)] { prepared(access); });
  });
}

void ServerInstance::OnRefreshTick() {
  slots_.RefreshStatus();
  ScheduleRefresh();
}

void ServerInstance::ScheduleRefresh() {
  // An interval of 0 or less switches the refresh timer off, as a zero interval always
  // has; the operator can still refresh by hand.
  if (unloaded_) return;
  if (settings_.RefreshRate > 0) {
    const qint64 interval = qint64{settings_.RefreshRate} * 1000;
    refreshTimer_.start(static_cast<int>(std::min<qint64>(interval, INT_MAX)));
  } else {
    refreshTimer_.stop();
  }
}

void ServerInstance::ProbeServerDatabase(const QString& location,
                                         std::function<void(const QString&)> answered) {
  OnWorker(
      [this, location, timeout = connectTimeoutSeconds_, answered = std::move(answered)]() mutable {
        bool reached = false;
        QString answer = corvane::ProbeServerDatabase(location, &reached, timeout);
        Post([answer = std::move(answer), answered = std::move(answered)] { answered(answer); });
      });
}

void ServerInstance::OnListenerError(const QString& description) {
  notices_.ShowMessage(QStringLiteral("Main Socket has experienced an error.\r\r") + description,
                       QStringLiteral("Corvane Database"), OperatorNotices::Icon::Critical);
}

void ServerInstance::OnKeySeedTick() { slots_.RenewKeySeed(); }

void ServerInstance::OnInactivityTick() { slots_.CheckInactivity(); }

void ServerInstance::ApplyInactivitySetting() {
  // The timer runs with the limit off too: idle web sessions still end.
  slots_.ResetIdleCounts();
  inactivityTimer_.start(kInactivityMs);
}

}  // namespace corvane
