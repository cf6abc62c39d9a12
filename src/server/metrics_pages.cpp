// The health and metrics pages of a server: what they show, from the state the server keeps
// on its event-loop thread. Nothing here waits on a database.
#include <QFileInfo>
#include <QSet>
#include <QTimer>

#include "protocol/socket_state.h"
#include "server/metrics_text.h"
#include "server/server_instance.h"

namespace corvane {
namespace {

// How long a health check waits for the published files to be looked at on a worker.
constexpr int kHealthFilesWaitMs = 2000;

}  // namespace

void ServerInstance::SetMetricsAddress(const MetricsAddress& address) { metricsAddress_ = address; }

void ServerInstance::StartMetrics() {
  metrics_.reset();
  std::optional<MetricsAddress> address = metricsAddress_;
  QString problem;
  if (!address) address = MetricsSettingsFile(programDir_).Load(&problem);
  if (!problem.isEmpty()) activity_.LogNote(QStringLiteral("Metrics off: %1").arg(problem));
  if (!address) return;
  metrics_ = std::make_unique<MetricsListener>(MetricsPages{
      [this](std::function<void(const QStringList&)> answer) { AskHealth(std::move(answer)); },
      [this] { return MetricsPage(); }});
  if (!metrics_->Start(address->address, address->port)) {
    metrics_.reset();
    activity_.LogNote(
        QStringLiteral("Metrics not started: %1 cannot be listened on").arg(address->Text()));
    return;
  }
  MetricsAddress bound = *address;
  bound.port = metrics_->Port();
  activity_.LogNote(QStringLiteral("Health and metrics on http://%1/").arg(bound.Text()));
}

void ServerInstance::AskHealth(std::function<void(const QStringList&)> answer) {
  struct Pending {
    std::function<void(const QStringList&)> answer;
    QStringList problems;
  };
  auto pending = std::make_shared<Pending>(Pending{std::move(answer), KeptHealthProblems()});
  PublishedList files;
  for (const PublishedDatabase& entry : catalogue_.Current().published) {
    // A database taken out of database.dat by a reload is the operator's doing, not a fault.
    if (!entry.IsServerDatabase() && !entry.withdrawn) files.push_back(entry);
  }
  // Answered once, here, by whichever comes first: the look at the files or its bound.
  const auto finish = [pending](const QStringList& more) {
    const std::function<void(const QStringList&)> answer = std::exchange(pending->answer, {});
    if (answer) answer(pending->problems + more);
  };
  if (files.empty()) {
    finish({});
    return;
  }
  QTimer::singleShot(kHealthFilesWaitMs, this, [finish] {
    finish({QStringLiteral("The published files could not be looked at within %1 ms")
                .arg(kHealthFilesWaitMs)});
  });
  // A file on a hung network share must not hold the event loop.
  OnWorker([this, files = std::move(files), finish] {
    QStringList missing;
    for (const PublishedDatabase& entry : files) {
      if (!QFileInfo(entry.ServedPath()).isFile()) {
        missing << QStringLiteral("Database %1 is missing: no file at %2")
                       .arg(entry.name, entry.ServedPath());
      }
    }
    Post([finish, missing] { finish(missing); });
  });
}

QStringList ServerInstance::KeptHealthProblems() const {
  QStringList problems;
  if (checking_) problems << QStringLiteral("The database check is running");
  if (slots_.ListenerState() != kSocketListening) {
    problems << QStringLiteral("Not listening for clients on port %1").arg(settings_.ListenPort);
  }
  for (const Parked& parked : withdrawn_) {
    problems << QStringLiteral("Database %1 is withdrawn: the server database does not answer")
                    .arg(parked.entry.name);
  }
  for (const QString& name : unreadable_) {
    problems
        << QStringLiteral("Database %1 is withdrawn: the last check could not read it").arg(name);
  }
  for (const PublishedDatabase& entry : catalogue_.Current().published) {
    if (entry.IsServerDatabase() && !entry.withdrawn && health_.Down(entry.ServedPath())) {
      problems << QStringLiteral("Database %1 does not answer").arg(entry.name);
    }
  }
  return problems;
}

QByteArray ServerInstance::MetricsPage() {
  MetricsText text;
  text.Family("corvane_build_info", "gauge", QStringLiteral("The server's version"));
  text.Sample("corvane_build_info", {{"version", QStringLiteral(CORVANE_VERSION)}}, 1);
  text.Family("corvane_listening", "gauge",
              QStringLiteral("1 while the server listens for clients"));
  text.Sample("corvane_listening", slots_.ListenerState() == kSocketListening ? 1 : 0);
  text.Family("corvane_clients_connected", "gauge", QStringLiteral("Clients connected"));
  text.Sample("corvane_clients_connected", slots_.ConnectedCount());
  text.Family("corvane_slots_free", "gauge",
              QStringLiteral("Client slots neither connected nor reserved"));
  text.Sample("corvane_slots_free", slots_.FreeSlotCount());

  const RequestMetrics& counts = slots_.Metrics();
  text.Family("corvane_requests_total", "counter",
              QStringLiteral("Requests answered, by command word"));
  for (int c = 0; c <= kCommandCount; ++c) {
    const QString word =
        c < kCommandCount
            ? QString::fromLatin1(
                  Describe(static_cast<Command>(c)).word.data(),
                  static_cast<qsizetype>(Describe(static_cast<Command>(c)).word.size()))
            : QStringLiteral("(unknown)");
    text.Sample("corvane_requests_total", {{"command", word}},
                static_cast<double>(counts.Requests()[static_cast<size_t>(c)]));
  }
  text.Family("corvane_errors_total", "counter",
              QStringLiteral("Errors reported to clients, by error number"));
  for (auto it = counts.Errors().cbegin(); it != counts.Errors().cend(); ++it) {
    text.Sample("corvane_errors_total", {{"number", QString::number(it.key())}},
                static_cast<double>(it.value()));
  }
  text.Family("corvane_logons_refused_total", "counter",
              QStringLiteral("Logons refused: unknown user, wrong password or user already on"));
  text.Sample("corvane_logons_refused_total", static_cast<double>(counts.RefusedLogons()));

  text.Family("corvane_request_duration_seconds", "histogram",
              QStringLiteral("Time from taking up a request to its answer"));
  uint64_t cumulative = 0;
  for (size_t b = 0; b < counts.LatencyBuckets().size(); ++b) {
    cumulative += counts.LatencyBuckets()[b];
    const QString le = b < kLatencyBucketsSeconds.size()
                           ? QString::number(kLatencyBucketsSeconds[b], 'g', 10)
                           : QStringLiteral("+Inf");
    text.Sample("corvane_request_duration_seconds_bucket", {{"le", le}},
                static_cast<double>(cumulative));
  }
  text.Sample("corvane_request_duration_seconds_sum", counts.LatencySumSeconds());
  text.Sample("corvane_request_duration_seconds_count", static_cast<double>(counts.LatencyCount()));

  text.Family("corvane_work_waiting", "gauge",
              QStringLiteral("Database work handed to a pool of workers and not yet taken up"));
  const ClientWork& work = slots_.Work();
  text.Sample("corvane_work_waiting", {{"pool", QStringLiteral("quick")}}, work.QuickWaiting());
  text.Sample("corvane_work_waiting", {{"pool", QStringLiteral("long")}}, work.LongWaiting());
  text.Sample("corvane_work_waiting", {{"pool", QStringLiteral("server")}}, work.ServerWaiting());

  text.Family("corvane_database_offered", "gauge",
              QStringLiteral("1 for a published database offered to clients, 0 for one withdrawn"));
  // One sample a name: two entries of one name would make the page unreadable.
  QSet<QString> named;
  const auto offered = [&text, &named](const QString& name, bool offered) {
    if (named.contains(name)) return;
    named.insert(name);
    text.Sample("corvane_database_offered", {{"database", name}}, offered ? 1 : 0);
  };
  for (const PublishedDatabase& entry : catalogue_.Current().published) {
    offered(entry.name, !entry.withdrawn);
  }
  for (const Parked& parked : withdrawn_) offered(parked.entry.name, false);
  for (const QString& name : unreadable_) offered(name, false);

  text.Family("corvane_pg_connections_in_use", "gauge",
              QStringLiteral("Connections to server databases lent to requests"));
  text.Sample("corvane_pg_connections_in_use", pgInUse_->load(std::memory_order_relaxed));
  text.Family("corvane_pg_connection_failures_total", "counter",
              QStringLiteral("Connections to a server database that failed or were lost"));
  const auto& failures = counts.ServerDatabaseFailures();
  for (auto it = failures.cbegin(); it != failures.cend(); ++it) {
    text.Sample("corvane_pg_connection_failures_total", {{"database", it.key()}},
                static_cast<double>(it.value()));
  }
  return text.bytes();
}

}  // namespace corvane
