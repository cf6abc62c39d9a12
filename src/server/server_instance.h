#pragma once

#include <QObject>
#include <QString>
#include <QTimer>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "activity/activity_log.h"
#include "activity/activity_rows_model.h"
#include "activity/host_identity.h"
#include "base/pseudo_random.h"
#include "base/server_settings.h"
#include "base/shared_catalogue.h"
#include "config/access_publisher.h"
#include "config/database_check_ui.h"
#include "config/left_queries.h"
#include "config/metrics_settings_file.h"
#include "config/postgres_settings_file.h"
#include "config/registry_store.h"
#include "config/settings_files.h"
#include "config/user_store.h"
#include "config/web_settings_file.h"
#include "engine/database.h"
#include "postgres/served_databases.h"
#include "server/operator_prompts.h"
#include "server/posted_calls.h"
#include "server/posted_reports.h"
#include "server/server_database_health.h"
#include "server/setup_values.h"
#include "server/slot_server.h"
#include "server/startup_branch.h"
#include "server/window_placement.h"
#include "transport/web/metrics_listener.h"
#include "transport/web/web_server.h"

namespace corvane {

// One running server: its settings, catalogue, users, activity log, slots and timers,
// and the start-up and shutdown sequences that the desktop and the headless mode share.
// Everything lives here, never in process globals, so several servers can run in one
// process (the tests do). It belongs to the thread of its event loop (the main thread
// headless, a thread of its own in the desktop program): every call is made there, and
// whatever waits on a database (the check, the user store, an Access import, a test
// connection) runs on a worker and comes back there, so the loop never waits on one.
class ServerInstance : public QObject {
  Q_OBJECT

 public:
  ServerInstance(const QString& programDir, OperatorNotices& notices,
                 HostIdentity host = LocalHostIdentity(), QObject* parent = nullptr);
  ~ServerInstance() override;

  // --- Start-up and shutdown ---
  // Loads general.dat, web.dat and network.dat, asks the user store for users and loads
  // database.dat; when everything is present the database check starts (RunDatabaseCheck).
  StartupBranch RunStartup();
  // The main window's load: the first key seed (kStartKeySeed), listener, first refresh,
  // "ServerStart", timers running. Called once the start-up's check is done (AfterCheck), so
  // that no client sees a list being filled.
  void LoadMainWindow();
  // Writes database.dat, network.dat, general.dat and web.dat, in that order.
  void SaveSettingsFiles();
  // SIGHUP: rereads the user store and database.dat without dropping a client, and says in
  // the activity list what changed. Users take effect at their next logon; open sessions go
  // on. New databases are checked on a worker and offered at the end of the list (or again
  // in the place they left); removed ones are withdrawn for new opens, keeping their
  // numbers, while sets open on them stay usable. A list that cannot be read stays as it
  // was. One reload runs at a time; one asked for meanwhile (or during a check) follows.
  void Reload();
  // Closes every slot's database and socket, writes User.dat when the desktop hands its
  // window's placement (a headless run leaves it alone), closes the listener and reports
  // "ServerShutdown". Nothing that ends later (a check) starts the listener again.
  void Unload(const std::optional<WindowPlacement>& placement = std::nullopt);

  // Starts the web access on WebPort (stopping it first), or keeps it off when the port is
  // 0; its note in the activity list tells the operator how it runs.
  void ApplyWebSetting();
  // The web access; nullptr while it is off.
  WebServer* Web() { return web_.get(); }

  // --- Health and metrics ---
  // Where the health and metrics pages are served, instead of what metrics.dat says (the
  // command line); set before RunStartup.
  void SetMetricsAddress(const MetricsAddress& address);
  // The pages' listener; nullptr while they are off.
  MetricsListener* Metrics() { return metrics_.get(); }
  // Hands `answer`, on this thread, why the server is not healthy: nothing when it listens,
  // no check runs and every published database answers (each file is looked for on a
  // worker, within a bound; a server database as its last connection found it).
  void AskHealth(std::function<void(const QStringList&)> answer);
  // The metrics page, in the Prometheus text format.
  QByteArray MetricsPage();

  // --- The setup ---
  // The connected clients, as the exit and setup questions count them.
  int ConnectedCount() const { return slots_.ConnectedCount(); }
  // The setup opens (the operator agreed to disconnect whoever was connected): every slot
  // freed, reservations included, "Setup Run" with the number of clients disconnected, and
  // no new client (TCP or web) until EndSetup. A client that came after the operator was
  // asked goes too: none is served while the published list is checked again.
  void BeginSetup();
  // What the setup dialog is filled from; the users are read from their store on a worker
  // and `taken` gets it all on this thread.
  void TakeSetupValues(std::function<void(SetupValues)> taken);
  // "&Save": takes the options, the port and the published list, applies the inactivity
  // setting and the run-at-startup entry and writes the settings files at once. The users
  // are written on a worker (removing those no longer listed), then the database check
  // runs; when it is done the listener and the web access start again (EndSetup) and
  // `done` runs.
  void ApplySetup(SetupValues values, std::function<void()> done = {});
  // The setup closed: the listener and the web access start again.
  void EndSetup();
  // Makes an Access file publishable (imports it unless an unchanged import is there) on a
  // worker; `prepared` gets the outcome on this thread.
  void PrepareAccessDatabase(const QString& path,
                             std::function<void(const PublishedAccess&)> prepared);

  // --- The database check ---
  // Starts the database check over the published list on a worker; the new table and query
  // lists replace the catalogue on this thread when it is done (see AfterCheck).
  // Unreadable databases are told to the operator and withdrawn. Published Access files are
  // first imported into databases/ (once; an unchanged file keeps its database) and served
  // from there. A server database that does not answer is withdrawn from the clients' list
  // but stays in database.dat (one down for maintenance is not gone), and the next check
  // tries it again. A check asked for while one runs follows it.
  void RunDatabaseCheck();
  // Runs `then` on this thread once no check runs or is waiting (at once when none does).
  void AfterCheck(std::function<void()> then);
  bool CheckRunning() const { return checking_; }
  // The retry timer's tick: the server databases the last check withdrew are tried on a
  // worker; one that answers has its tables and queries checked and is offered again.
  void RetryWithdrawnDatabases();
  // How often withdrawn server databases are tried (kWithdrawnRetryMs unless set) and how
  // long connecting to a server database may take; tests shorten both.
  void SetWithdrawnRetryInterval(int ms);
  void SetServerConnectTimeout(int seconds);
  // Where the check shows its progress, on this thread (nothing by default); nullptr
  // restores that.
  void SetDatabaseCheckProgress(DatabaseCheckProgress* progress);

  // --- The main window ---
  void RefreshStatus() { slots_.RefreshStatus(); }
  const StatusTexts& Status() const { return slots_.Status(); }
  QString LogFilePath() const { return activity_.LogFilePath(); }
  bool ClearLogFile() { return activity_.ClearLogFile(); }
  // Connects once to a server database on a worker and hands `answered` what it said (the
  // server's version or why it cannot be reached) on this thread.
  void ProbeServerDatabase(const QString& location, std::function<void(const QString&)> answered);

  // --- State, for the desktop's views and for tests ---
  const QString& ProgramDir() const { return programDir_; }
  const ServerSettings& Settings() const { return settings_; }
  // The current snapshot; valid until the catalogue next changes.
  const Catalogue& CatalogueLists() const { return catalogue_.Current(); }
  ActivityRowsModel& ActivityRows() { return activityRows_; }
  CurrentUsersModel& CurrentUsers() { return slots_.CurrentUsers(); }
  UserStore& Users() { return users_; }
  ActivityLog& Activity() { return activity_; }
  SlotServer& Slots() { return slots_; }
  // The program the Access imports run in (tests give the built server).
  void SetConversionChild(const ConversionChild& child) {
    accessPublisher_.SetConversionChild(child);
  }

  // The refresh timer's tick: refresh, then wait RefreshRate seconds for the next one.
  void OnRefreshTick();
  void OnKeySeedTick();
  void OnInactivityTick();
  void OnListenerError(const QString& description);

 Q_SIGNALS:
  void StatusRefreshed();

 private:
  // A server database the last check withdrew, or one offered again at the end of the
  // clients' list; `place` is its index in database.dat's order.
  struct Parked {
    PublishedDatabase entry;
    size_t place = 0;
  };
  // What a retry found for a withdrawn server database that answered.
  struct RetryAnswer {
    PublishedDatabase entry;
    QStringList tables;
    QStringList queries;
  };
  // What a reload read and checked on its worker.
  struct ReloadResult {
    std::optional<PublishedList> listed;  // database.dat as read; nullopt when unreadable
    std::vector<RetryAnswer> opened;      // its new entries that opened
    std::vector<std::pair<PublishedDatabase, QString>> failed;  // new ones that did not
    std::optional<QList<UserRecord>> users;  // nullopt when the store cannot be read
  };

  // Runs `work` on a worker of the long-work pool; it hands its outcome back with Post.
  void OnWorker(std::function<void()> work) { slots_.StartOperatorWork(std::move(work)); }
  // Runs `call` on this thread; for the workers.
  void Post(std::function<void()> call) { posted_.Post(std::move(call)); }
  void FinishCheck(Catalogue checked, const PublishedList& before);
  // Applies a changed inactivity setting: counts restart and the check runs, or stops.
  void ApplyInactivitySetting();
  // Starts the refresh timer on RefreshRate seconds, or stops it for a rate of 0 or less.
  void ScheduleRefresh();
  static bool SameEntry(const PublishedDatabase& a, const PublishedDatabase& b);
  // After a check over `before`: the server databases it dropped for not answering are
  // withdrawn, each with its place.
  void WithdrawUnanswered(const PublishedList& before);
  // The list database.dat holds: the published databases with the withdrawn ones, and
  // those offered again out of place, at their places.
  PublishedList DatabaseDatOrder() const;
  bool OutOfPlace(const PublishedDatabase& entry) const;
  // A published database's name for the activity list, by its connection text.
  QString ServerDatabaseName(const QString& location) const;
  PgPoolOptions PoolOptions();
  void TakeRetryAnswers(const std::vector<RetryAnswer>& answers);
  void Republish(const Parked& parked, const RetryAnswer& answer);
  void UpdateRetryTimer();
  // Reads the stored users on a worker and keeps them as what the next reload compares with.
  void TakeKnownUsers();
  std::optional<QList<UserRecord>> ReadStoredUsers();
  void ApplyReload(const ReloadResult& result);
  int ReportUserChanges(const QList<UserRecord>& users);
  // The reload's changes to the published list; each is one activity row.
  int WithdrawRemoved(const PublishedList& listed);
  int OfferAdded(const ReloadResult& result);
  // Writes leftqueries.dat: what an earlier run left and this one has not removed, and the
  // queries this run failed to remove.
  void SaveLeftQueries();
  // Starts the health and metrics pages when an address is set; a port that cannot be
  // listened on is told in the activity list, and clients are served all the same.
  void StartMetrics();
  // What the state this thread keeps says against the server's health.
  QStringList KeptHealthProblems() const;

  QString programDir_;
  OperatorNotices& notices_;
  ServerSettings settings_;
  SharedCatalogue catalogue_;
  SettingsFiles files_;
  RegistryStore registry_;
  UserStore users_;
  PseudoRandom random_;
  ActivityRowsModel activityRows_;
  ActivityLog activity_;
  // What the workers use and hand back through comes before the slots, whose worker pools
  // wait for the running work when they go.
  PostedCalls posted_;
  PostedReports checkReports_;
  AccessPublisher accessPublisher_;
  ServedDatabases databases_;
  SlotServer slots_;
  ServerDatabaseHealth health_;
  int connectTimeoutSeconds_ = kServerConnectTimeoutSeconds;
  int freshMs_ = kServerFreshMs;    // postgres.dat
  std::vector<Parked> withdrawn_;   // server databases the last check could not reach
  std::vector<Parked> outOfPlace_;  // offered again while clients held list indices
  QStringList unreadable_;          // files the last check could not read
  bool checking_ = false;
  bool checkAgain_ = false;
  bool retrying_ = false;
  bool serving_ = false;  // the main window's load ran: clients may come
  bool reloading_ = false;
  bool reloadAgain_ = false;
  // database.dat as the last reload read it; until the next check or saved setup it is what
  // the server writes back (clients' numbers keep the list's order as it was).
  std::optional<PublishedList> reloadedOrder_;
  // The users as of the start, the last saved setup or the last reload.
  std::optional<QList<UserRecord>> knownUsers_;
  bool unloaded_ = false;
  std::vector<std::function<void()>> afterCheck_;
  QTimer retryTimer_;
  SilentCheckProgress silentProgress_;
  DatabaseCheckProgress* checkProgress_ = &silentProgress_;
  QTimer refreshTimer_;     // Timer1
  QTimer keySeedTimer_;     // Timer2
  QTimer inactivityTimer_;  // Timer3
  WebSettingsFile webFile_;
  // Client queries left by an earlier run, removed by the next check; those it could not
  // reach wait for the next start.
  LeftQueryFile leftFile_;
  std::vector<LeftQuery> leftAtStart_;
  std::vector<LeftQuery> stillLeft_;
  std::optional<MetricsAddress> metricsAddress_;
  std::unique_ptr<MetricsListener> metrics_;
  // Connections lent out by the server databases' pools, counted by the workers.
  std::shared_ptr<std::atomic<int>> pgInUse_ = std::make_shared<std::atomic<int>>(0);
  // Last: its sessions are slots, ended before the slots go.
  std::unique_ptr<WebServer> web_;
};

}  // namespace corvane
