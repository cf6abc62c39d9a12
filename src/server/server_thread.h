#pragma once

#include <QObject>
#include <QPointer>
#include <QThread>
#include <any>
#include <atomic>
#include <functional>
#include <map>
#include <optional>

#include "activity/activity_rows_model.h"
#include "activity/host_identity.h"
#include "base/server_settings.h"
#include "commands/current_users_model.h"
#include "config/imported_databases.h"
#include "server/operator_prompts.h"
#include "server/posted_calls.h"
#include "server/posted_reports.h"
#include "server/setup_values.h"
#include "server/slot_server.h"
#include "server/startup_branch.h"
#include "server/window_placement.h"

namespace corvane {

class ServerInstance;

// The desktop program's server: a ServerInstance whose event loop (sockets, framing, timers,
// the activity and users lists) runs on a thread of its own, and the operations the windows
// call on it. This object belongs to the windows' thread. Every operation returns at once;
// what it leads to comes back on this thread, as an answer to the caller (dropped once the
// `context` it was asked for is gone) or as a signal. What the windows show of the server
// (activity rows, users list, status texts) comes in batches a few times a second, so that
// painting never sits between a request and its reply. The server never waits for the
// windows: its messages to the operator arrive here as notices.
class ServerThread : public QObject {
  Q_OBJECT

 public:
  // The server is made on its thread before this returns. `notices` tells the operator
  // what the server has to say, on this thread.
  ServerThread(const QString& programDir, OperatorNotices& notices,
               HostIdentity host = LocalHostIdentity(), QObject* parent = nullptr);
  // Ends the server's event loop; the server goes with its thread.
  ~ServerThread() override;

  // --- What the windows show ---
  const QString& ProgramDir() const { return programDir_; }
  const QString& LogFilePath() const { return logFilePath_; }
  // The settings as of the start-up's end or of the last saved setup, with the window
  // placement User.dat held at the start.
  const ServerSettings& Settings() const { return settings_; }
  ActivityRowsModel& ActivityRows() { return activityRows_; }
  CurrentUsersModel& CurrentUsers() { return currentUsers_; }
  const StatusTexts& Status() const { return status_; }
  // Where the database check shows its progress; nullptr for nowhere.
  void SetDatabaseCheckProgress(DatabaseCheckProgress* progress);

  // --- Operations ---
  // The start-up: the settings files, the user store and, when everything is present, the
  // database check; then the main window's load on the server's side (the listener starts
  // once the check is done). Started follows.
  void Start();
  // "Refresh..." (F5).
  void RefreshStatus();
  // The connected sockets, as the exit and setup questions count them.
  void CountConnected(QObject* context, std::function<void(int)> counted);
  // The setup opens (the operator has answered the question about the users): see
  // ServerInstance::BeginSetup.
  void BeginSetup();
  // What the setup dialog is filled from: settings, published list and stored users.
  void TakeSetupValues(QObject* context, std::function<void(const SetupValues&)> taken);
  // "&Save": `done` once the users are written, the check has run and the listener and
  // the web access have started again.
  void ApplySetup(SetupValues values, QObject* context, std::function<void()> done);
  // The setup closed without a save: the listener and the web access start again.
  void EndSetup();
  void PrepareAccessDatabase(const QString& path, QObject* context,
                             std::function<void(const PublishedAccess&)> prepared);
  void ProbeServerDatabase(const QString& location, QObject* context,
                           std::function<void(const QString&)> answered);
  void ClearLogFile();
  // SIGHUP: see ServerInstance::Reload. What it changed comes as activity rows.
  void Reload();
  // The unload: the settings files when the operator's Exit asks for them, then the
  // server's unload with the window's placement. Waits for the server (which waits a
  // bounded time for running work); further operations do nothing.
  void Unload(bool saveSettings, const std::optional<WindowPlacement>& placement);

  // Runs `inspect` on the server's thread and waits for it; false when it did not run
  // within `ms`. The unload's way, and the tests' to look where the windows do not.
  bool RunOnServer(const std::function<void(ServerInstance&)>& inspect, int ms = 30000);

 Q_SIGNALS:
  // The start-up is done; the main window is to be shown, or the setup.
  void Started(corvane::StartupBranch branch);
  void StatusChanged();

 private:
  class Loop;
  class Feed;
  // What the windows take at once from the server's side.
  struct Batch {
    std::vector<ActivityRow> rows;
    std::optional<std::vector<CurrentUserRow>> users;
    std::optional<StatusTexts> status;
  };
  struct Answer {
    bool hasContext = false;
    QPointer<QObject> context;
    std::function<void(std::any&)> deliver;
  };

  // Runs `op` on the server's thread (nothing once the server is gone).
  void OnServer(std::function<void(ServerInstance&)> op);
  // Runs `call` on this object's thread.
  void OnWindows(std::function<void()> call) { windowCalls_.Post(std::move(call)); }
  // On this thread: keeps `deliver` for the answer numbered by the result.
  quint64 Remember(QObject* context, std::function<void(std::any&)> deliver);
  // On any thread: hands `value` to the answer numbered `id`, on this object's thread.
  void Reply(quint64 id, std::any value);
  void TakeBatch(Batch batch);

  QString programDir_;
  QString logFilePath_;
  HostIdentity host_;
  OperatorNotices& notices_;
  DatabaseCheckProgress* progress_;
  SilentCheckProgress silentProgress_;
  ServerSettings settings_;
  ActivityRowsModel activityRows_;
  CurrentUsersModel currentUsers_;
  StatusTexts status_;
  std::map<quint64, Answer> answers_;
  quint64 lastAnswer_ = 0;
  bool unloaded_ = false;
  // Batches handed over that this thread has not taken yet.
  std::atomic<int> batchesInFlight_{0};
  PostedCalls windowCalls_;
  // What the server's side reports to the windows.
  PostedReports toWindows_;
  // Lives on the server's thread; used there only.
  PostedCalls serverCalls_;
  ServerInstance* server_ = nullptr;
  std::unique_ptr<Loop> loop_;
};

}  // namespace corvane
