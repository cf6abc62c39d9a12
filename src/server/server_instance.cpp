#include "server/server_instance.h"

#include <QLocale>
#include <QPointer>
#include <algorithm>
#include <climits>
#include <utility>

#include "config/database_check.h"

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

ServerInstance::ServerInstance(const QString& programDir, OperatorPrompts& prompts,
                               HostIdentity host, QObject* parent)
    : QObject(parent),
      programDir_(programDir),
      prompts_(prompts),
      files_(programDir),
      registry_(programDir),
      users_(registry_, programDir),
      activity_(activityRows_, settings_, programDir, std::move(host)),
      slots_(settings_, catalogue_, users_, activity_, random_, databases_, QLocale::system()),
      health_(activity_, [this](const QString& location) { return ServerDatabaseName(location); }),
      databaseErrorPrompt_(prompts),
      checkWork_([this](std::function<void()> work) { slots_.StartOperatorWork(std::move(work)); }),
      accessPublisher_(programDir, databaseErrorPrompt_,
                       [this](const QString& note) { activity_.LogNote(note); }),
      webFile_(programDir) {
  connect(&slots_, &SlotServer::StatusRefreshed, this, &ServerInstance::StatusRefreshed);
  connect(&slots_, &SlotServer::ListenerError, this, &ServerInstance::OnListenerError);
  connect(&refreshTimer_, &QTimer::timeout, this, &ServerInstance::OnRefreshTick);
  connect(&keySeedTimer_, &QTimer::timeout, this, &ServerInstance::OnKeySeedTick);
  connect(&inactivityTimer_, &QTimer::timeout, this, &ServerInstance::OnInactivityTick);
  connect(&retryTimer_, &QTimer::timeout, this, &ServerInstance::RetryWithdrawnDatabases);
  retryTimer_.setInterval(kWithdrawnRetryMs);
  databases_.SetPoolOptions(PoolOptions());
}

PgPoolOptions ServerInstance::PoolOptions() {
  // Workers tell; this thread keeps the state and writes the rows.
  return {connectTimeoutSeconds_,
          [this](const QString& location, bool answered, const QString& message) {
            {
              const std::lock_guard lock(news_.mutex);
              news_.outcomes.push_back({location, answered, message});
            }
            PostWorkerNews();
          }};
}

void ServerInstance::PostWorkerNews() {
  // By name, as the slots' results are: no functor of ours crosses the threads inside Qt.
  QMetaObject::invokeMethod(this, "TakeWorkerNews", Qt::QueuedConnection);
}

void ServerInstance::TakeWorkerNews() {
  std::vector<PoolOutcome> outcomes;
  std::optional<std::vector<RetryAnswer>> answers;
  {
    const std::lock_guard lock(news_.mutex);
    outcomes.swap(news_.outcomes);
    answers.swap(news_.retryAnswers);
  }
  for (const PoolOutcome& outcome : outcomes) {
    health_.Report(outcome.location, outcome.answered, outcome.message);
  }
  if (answers) TakeRetryAnswers(*answers);
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

ServerInstance::~ServerInstance() = default;

StartupBranch ServerInstance::RunStartup() {
  files_.LoadGeneralSettings(settings_);
  webFile_.Load(settings_);
  const bool network = files_.LoadNetworkSettings(settings_);
  // Read in every branch: the setup shows the list and saving it writes it back, so a list
  // not read here would be lost.
  bool databases = false;
  catalogue_.Change([&](Catalogue& next) { databases = files_.LoadDatabaseList(next.published); });
  if (!network) return StartupBranch::kNetworkMissing;
  if (!users_.HasUsers()) return StartupBranch::kUsersMissing;
  if (!databases) return StartupBranch::kDatabasesMissing;
  RunDatabaseCheck();
  return StartupBranch::kReady;
}

void ServerInstance::LoadMainWindow() {
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

bool ServerInstance::ConfirmExit() {
  const int connected = slots_.ConnectedCount();
  if (connected > 0) {
    const QString text = QStringLiteral("Are you sure you want to exit?\r\rYou have ") +
                         QString::number(connected) + QStringLiteral(" user(s)  connected.") +
                         QString(25, QLatin1Char(' '));
    return prompts_.ConfirmOkCancel(text, QStringLiteral("Disconnect Users"),
                                    OperatorPrompts::Icon::Critical);
  }
  return prompts_.ConfirmOkCancel(
      QStringLiteral("Are you sure you want to exit?") + QString(10, QLatin1Char(' ')),
      QStringLiteral("Shutdown CorvaneDB Server"), OperatorPrompts::Icon::Question);
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

void ServerInstance::Unload() {
  refreshTimer_.stop();
  keySeedTimer_.stop();
  inactivityTimer_.stop();
  retryTimer_.stop();
  slots_.WaitForWork(kRunningWorkGraceMs);
  slots_.FreeEverySlot(FreeReason::kShutdown);
  slots_.SettleStoppedWork(kStoppedWorkWaitMs);
  files_.SaveWindowPlacement(settings_);
  slots_.CloseListener();
  web_.reset();
  activity_.LogServerEvent("ServerShutdown");
}

void ServerInstance::RunDatabaseCheck() {
  // Events run while the check waits on a server database; a retry tick meanwhile waits
  // for the next one, and a retry's answers are left to this check. Nothing those events
  // start may check the list again underneath it.
  if (checking_) return;
  checking_ = true;
  Catalogue next;
  next.published = DatabaseDatOrder();
  withdrawn_.clear();
  outOfPlace_.clear();
  const PublishedList before = next.published;
  accessPublisher_.PrepareList(next.published);
  // Every published database has its lists, even when the check cannot fill them.
  next.tableLists.assign(next.published.size(), {});
  next.queryLists.assign(next.published.size(), {});
  // While the check runs, the list it checks is the current one (the activity rows of the
  // server databases it reaches name them by it); its lists follow when it is done.
  catalogue_.Replace(next);
  DatabaseCheck check(next, databases_, *checkProgress_, databaseErrorPrompt_, &checkWork_);
  check.Run();
  catalogue_.Replace(std::move(next));
  WithdrawUnanswered(before);
  checking_ = false;
  UpdateRetryTimer();
}

void ServerInstance::SetDatabaseCheckProgress(DatabaseCheckProgress* progress) {
  checkProgress_ = progress ? progress : &silentProgress_;
}

void ServerInstance::DisconnectAllClients() {
  slots_.WaitForWork(kRunningWorkGraceMs);
  slots_.FreeEverySlot(FreeReason::kDisconnectAll);
  slots_.SettleStoppedWork(kStoppedWorkWaitMs);
}

void ServerInstance::BeginSetup(int disconnected) {
  activity_.LogServerEvent("SetupRun", disconnected);
  slots_.CurrentUsers().Clear();
  slots_.CloseListener();
  web_.reset();
}

void ServerInstance::ApplySetup(const SetupValues& values) {
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
  ApplyInactivitySetting();
  users_.SetRunAtStartup(SettingValue(settings_.RunAtStartup) != 0);
  users_.SaveUsers(values.users);
  users_.RemoveStaleUsers(values.users);
  // What the operator saved is on disk now, however the program ends later.
  SaveSettingsFiles();
}

void ServerInstance::EndSetup() {
  slots_.StartListening();
  // The web port may have changed; web access starts again on it, or stays off.
  ApplyWebSetting();
}

PublishedAccess ServerInstance::PrepareAccessDatabase(const QString& path) {
  return accessPublisher_.Prepare(path);
}

void ServerInstance::RecordWindowPlacement(double top, double left, int32_t width, double height) {
  settings_.WindowTop = top;
  settings_.WindowLeft = left;
  settings_.WindowWidth = width;
  settings_.WindowHeight = height;
}

void ServerInstance::OnRefreshTick() {
  slots_.RefreshStatus();
  // An interval of 0 or less switches the refresh timer off, as a zero interval always
  // has; the operator can still refresh by hand.
  if (settings_.RefreshRate > 0) {
    const qint64 interval = qint64{settings_.RefreshRate} * 1000;
    refreshTimer_.start(static_cast<int>(std::min<qint64>(interval, INT_MAX)));
  } else {
    refreshTimer_.stop();
  }
}

void ServerInstance::ProbeServerDatabase(const QString& location, QObject* receiver,
                                         std::function<void(const QString&)> answered) {
  // The pointer to the receiver is made and read only on this thread; the worker just
  // carries the answer back here.
  std::function<void(const QString&)> deliver = [target = QPointer<QObject>(receiver),
                                                 answered =
                                                     std::move(answered)](const QString& answer) {
    if (target) answered(answer);
  };
  slots_.StartOperatorWork(
      [this, location, timeout = connectTimeoutSeconds_, deliver = std::move(deliver)]() mutable {
        bool reached = false;
        QString answer = corvane::ProbeServerDatabase(location, &reached, timeout);
        QMetaObject::invokeMethod(
            this, [deliver = std::move(deliver), answer = std::move(answer)] { deliver(answer); },
            Qt::QueuedConnection);
      });
}

void ServerInstance::OnListenerError(const QString& description) {
  // One box at a time: errors that arrive while it is open are not stacked up.
  if (listenerErrorShown_) return;
  listenerErrorShown_ = true;
  prompts_.ShowMessage(QStringLiteral("Main Socket has experienced an error.\r\r") + description,
                       QStringLiteral("Corvane Database"), OperatorPrompts::Icon::Critical);
  listenerErrorShown_ = false;
}

void ServerInstance::OnKeySeedTick() { slots_.RenewKeySeed(); }

void ServerInstance::OnInactivityTick() {
  if (!slots_.CheckInactivity()) inactivityTimer_.stop();
}

void ServerInstance::ApplyInactivitySetting() {
  if (settings_.InactivityLimit <= 0) {
    inactivityTimer_.stop();
    return;
  }
  slots_.ResetIdleCounts();
  inactivityTimer_.start(kInactivityMs);
}

}  // namespace corvane
