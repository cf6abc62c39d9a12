#pragma once

#include <QObject>
#include <QString>
#include <QTimer>
#include <functional>
#include <memory>
#include <mutex>
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
#include "config/registry_store.h"
#include "config/settings_files.h"
#include "config/user_store.h"
#include "config/web_settings_file.h"
#include "engine/database.h"
#include "postgres/served_databases.h"
#include "server/database_check_hosts.h"
#include "server/operator_prompts.h"
#include "server/server_database_health.h"
#include "server/setup_values.h"
#include "server/slot_server.h"
#include "server/startup_branch.h"
#include "transport/web/web_server.h"

namespace corvane {

// One running server: its settings, catalogue, users, activity log, slots and timers,
// and the start-up and shutdown sequences that the desktop and the headless mode share.
// Everything lives here, never in process globals, so several servers can run in one
// process (the tests do).
class ServerInstance : public QObject {
  Q_OBJECT

 public:
  ServerInstance(const QString& programDir, OperatorPrompts& prompts,
                 HostIdentity host = LocalHostIdentity(), QObject* parent = nullptr);
  ~ServerInstance() override;

  // Loads general.dat, web.dat and network.dat, asks the user store for users and loads
  // database.dat; when everything is present the database check fills the catalogue.
  StartupBranch RunStartup();

  // The main window's load: the first key seed (kStartKeySeed), saved placement, listener, first
  // refresh, "ServerStart", timers running.
  void LoadMainWindow();

  // The exit question with the number of connected sockets; true when confirmed.
  bool ConfirmExit();
  // Writes database.dat, network.dat, general.dat and web.dat, in that order.
  void SaveSettingsFiles();
  // Closes every slot's database and socket, writes User.dat from the placement held in
  // the settings, closes the listener and reports "ServerShutdown".
  void Unload();

  // Starts the web access on WebPort (stopping it first), or keeps it off when the port is
  // 0; its note in the activity list tells the operator how it runs.
  void ApplyWebSetting();
  // The web access; nullptr while it is off.
  WebServer* Web() { return web_.get(); }

  // --- The setup ---
  // The connected clients, as the exit and setup questions count them.
  int ConnectedCount() const { return slots_.ConnectedCount(); }
  // The setup's disconnection: every slot is freed, reservations included.
  void DisconnectAllClients();
  // The setup opens: "Setup Run" with the number of users it disconnected, and no new
  // client (TCP or web) until EndSetup.
  void BeginSetup(int disconnected);
  // "&Save": takes the options, the port and the published list, applies the inactivity
  // setting and the run-at-startup entry, and writes the users (removing those no longer
  // listed). The database check (RunDatabaseCheck) follows.
  void ApplySetup(const SetupValues& values);
  // The setup closed, saved or not: the listener and the web access start again.
  void EndSetup();
  // Makes an Access file publishable (imports it unless an unchanged import is there).
  PublishedAccess PrepareAccessDatabase(const QString& path);

  // Runs the database check over the published list, rebuilding the table and query lists;
  // unreadable databases are reported through Prompts() and withdrawn. Published Access
  // files are first imported into databases/ (once; an unchanged file keeps its database)
  // and served from there. A server database that does not answer is withdrawn from the
  // clients' list but stays in database.dat (one down for maintenance is not gone), and
  // the next check tries it again. Its connects and listings run on a worker while this
  // thread goes on serving events.
  void RunDatabaseCheck();
  // The retry timer's tick: the server databases the last check withdrew are tried on a
  // worker; one that answers has its tables and queries checked and is offered again (see
  // TakeRetryAnswers).
  void RetryWithdrawnDatabases();
  // How often withdrawn server databases are tried (kWithdrawnRetryMs unless set) and how
  // long connecting to a server database may take; tests shorten both.
  void SetWithdrawnRetryInterval(int ms);
  void SetServerConnectTimeout(int seconds);
  // Where the check shows its progress (nothing by default); nullptr restores that.
  void SetDatabaseCheckProgress(DatabaseCheckProgress* progress);

  // --- The main window ---
  // The placement saved in User.dat, read into the settings; false without one.
  bool LoadWindowPlacement() { return files_.LoadWindowPlacement(settings_); }
  // The window's placement in twips, written to User.dat at the unload.
  void RecordWindowPlacement(double top, double left, int32_t width, double height);
  void RefreshStatus() { slots_.RefreshStatus(); }
  const StatusTexts& Status() const { return slots_.Status(); }
  // "Clear Activity": every row but the first.
  void ClearActivity() { activityRows_.ClearActivity(); }
  QString LogFilePath() const { return activity_.LogFilePath(); }
  bool ClearLogFile() { return activity_.ClearLogFile(); }

  // --- What the windows show ---
  const QString& ProgramDir() const { return programDir_; }
  const ServerSettings& Settings() const { return settings_; }
  // The current snapshot; valid until the catalogue next changes.
  const Catalogue& CatalogueLists() const { return catalogue_.Current(); }
  ActivityRowsModel& ActivityRows() { return activityRows_; }
  CurrentUsersModel& CurrentUsers() { return slots_.CurrentUsers(); }
  // The users as stored and the next user's key; saving goes through ApplySetup.
  UserStore& Users() { return users_; }
  OperatorPrompts& Prompts() { return prompts_; }
  ActivityLog& Activity() { return activity_; }
  SlotServer& Slots() { return slots_; }
  // Connects once to a server database on a worker and hands `answered` what it said (the
  // server's version or why it cannot be reached) on this thread; nothing is answered once
  // `receiver` is gone.
  void ProbeServerDatabase(const QString& location, QObject* receiver,
                           std::function<void(const QString&)> answered);
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

 private Q_SLOTS:
  // What the workers told since the last call: how connecting to server databases went,
  // and a retry's answers; on the event-loop thread.
  void TakeWorkerNews();

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
  // How connecting to a server database went, as a pool told it.
  struct PoolOutcome {
    QString location;
    bool answered = false;
    QString message;
  };
  // Workers leave their news here, then ask for TakeWorkerNews.
  struct WorkerNews {
    std::mutex mutex;
    std::vector<PoolOutcome> outcomes;
    std::optional<std::vector<RetryAnswer>> retryAnswers;
  };
  void PostWorkerNews();

  // Applies a changed inactivity setting: counts restart and the check runs, or stops.
  void ApplyInactivitySetting();
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

  QString programDir_;
  OperatorPrompts& prompts_;
  ServerSettings settings_;
  SharedCatalogue catalogue_;
  SettingsFiles files_;
  RegistryStore registry_;
  UserStore users_;
  PseudoRandom random_;
  ActivityRowsModel activityRows_;
  ActivityLog activity_;
  ServedDatabases databases_;
  SlotServer slots_;
  ServerDatabaseHealth health_;
  WorkerNews news_;
  int connectTimeoutSeconds_ = kServerConnectTimeoutSeconds;
  std::vector<Parked> withdrawn_;   // server databases the last check could not reach
  std::vector<Parked> outOfPlace_;  // offered again while clients held list indices
  bool checking_ = false;
  bool retrying_ = false;
  QTimer retryTimer_;
  SilentCheckProgress silentProgress_;
  DatabaseCheckProgress* checkProgress_ = &silentProgress_;
  PromptedDatabaseError databaseErrorPrompt_;
  WorkerCheckWork checkWork_;
  AccessPublisher accessPublisher_;
  QTimer refreshTimer_;     // Timer1
  QTimer keySeedTimer_;     // Timer2
  QTimer inactivityTimer_;  // Timer3
  bool listenerErrorShown_ = false;
  WebSettingsFile webFile_;
  // Last: its sessions are slots, ended before the slots go.
  std::unique_ptr<WebServer> web_;
};

}  // namespace corvane
