#include "server/headless_runner.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QTextStream>
#include <QTimer>

#include "activity/activity_row.h"
#include "protocol/socket_state.h"
#include "server/instance_lock.h"
#include "server/process_signals.h"
#include "server/server_instance.h"
#include "server/service_notifier.h"

namespace corvane {
namespace {

constexpr int kHeadlessActivityRows = 100;
constexpr int kHeadlessFlushMs = 100;

// Without an operator at a screen, messages go to the error stream.
class StreamNotices : public OperatorNotices {
 public:
  explicit StreamNotices(QTextStream& err) : err_(err) {}
  void ShowMessage(const QString& text, const QString& title, Icon) override {
    QString flat = text;
    flat.replace(QLatin1Char('\r'), QLatin1Char(' '));
    err_ << title << ": " << flat.simplified() << Qt::endl;
  }

 private:
  QTextStream& err_;
};

}  // namespace

QString MissingSetupText(int branch, const QString& programDir) {
  const QDir dir(programDir);
  switch (static_cast<StartupBranch>(branch)) {
    case StartupBranch::kNetworkMissing:
      return QStringLiteral(
                 "No listening port is set: %1 is missing or holds 0.\n"
                 "Write the port number on the first line of that file (for example 5000),\n"
                 "or set it on the Network tab of the desktop setup dialog.\n")
          .arg(dir.filePath(QStringLiteral("network.dat")));
    case StartupBranch::kUsersMissing:
      return QStringLiteral(
                 "No user is defined in %1.\n"
                 "Add one with: corvane-server --dir %2 --add-user NAME PASSWORD\n")
          .arg(dir.filePath(QStringLiteral("registry.db")), programDir);
    case StartupBranch::kDatabasesMissing:
      return QStringLiteral(
                 "No database is published: %1 is missing.\n"
                 "Write one line per database into it, for example\n"
                 "  \"sample.db\",\"/full/path/sample.db\"\n"
                 "or publish one on the Database tab of the desktop setup dialog.\n")
          .arg(dir.filePath(QStringLiteral("database.dat")));
    case StartupBranch::kReady:
      break;
  }
  return {};
}

int RunHeadless(const QString& programDir, QTextStream& out, QTextStream& err,
                const std::optional<MetricsAddress>& metrics) {
  if (!QFileInfo(programDir).isDir()) {
    err << "corvane-server: the program directory " << programDir << " does not exist" << Qt::endl;
    return 1;
  }
  InstanceLock lock(programDir);
  if (!lock.TryAcquire()) {
    err << "corvane-server: another server is already running in " << programDir << Qt::endl;
    return 1;
  }

  StreamNotices notices(err);
  ServerInstance server(programDir, notices);
  // Rows go to standard output as they come; nobody looks at the list itself.
  server.ActivityRows().SetRowLimit(kHeadlessActivityRows);
  // Written out within a moment instead of one write per row, which under load would cost
  // a system call per request.
  QTimer flushTimer;
  flushTimer.setSingleShot(true);
  flushTimer.setInterval(kHeadlessFlushMs);
  QObject::connect(&flushTimer, &QTimer::timeout, [&out] { out.flush(); });
  QObject::connect(&server.ActivityRows(), &ActivityRowsModel::RowAppended,
                   [&out, &flushTimer](const ActivityRow& row) {
                     out << ActivityLineText(row) << '\n';
                     if (!flushTimer.isActive()) flushTimer.start();
                   });

  if (metrics) server.SetMetricsAddress(*metrics);
  const StartupBranch branch = server.RunStartup();
  if (metrics && !server.Metrics()) {
    err << "corvane-server: --metrics " << metrics->Text()
        << " cannot be listened on; clients are served all the same" << Qt::endl;
  }
  if (branch != StartupBranch::kReady) {
    err << MissingSetupText(static_cast<int>(branch), programDir);
    err.flush();
    return 2;
  }

  // A shutdown request is already the operator's confirmation. There is no window: its
  // placement in User.dat is the desktop program's, and stays as it was. SIGHUP, which
  // logrotate sends after renaming the log, needs nothing of the log: each row opens
  // CorvaneDB.log by name, so every row after the rename goes to the new file. It rereads
  // the users and database.dat ("systemctl reload").
  ProcessSignals processSignals;
  ServiceNotifier serviceNotifier;
  QObject::connect(&processSignals, &ProcessSignals::hangupReceived, &server,
                   &ServerInstance::Reload);
  QObject::connect(&processSignals, &ProcessSignals::terminationRequested, &server,
                   [&server, &serviceNotifier] {
                     serviceNotifier.NotifyStopping();
                     server.SaveSettingsFiles();
                     server.Unload();
                     QCoreApplication::exit(0);
                   });
  // Clients come once the check has filled the lists. systemd hears of readiness only when clients
  // can connect: a port that cannot be opened leaves the start to time out and fail, where the
  // operator sees it.
  server.AfterCheck([&server, &serviceNotifier] {
    server.LoadMainWindow();
    if (server.Slots().ListenerState() == kSocketListening) serviceNotifier.NotifyReady();
  });
  const int code = QCoreApplication::exec();
  out.flush();
  return code;
}

}  // namespace corvane
