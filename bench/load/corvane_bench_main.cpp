// corvane-bench: N clients through the real handshake and logon, each sending its next
// request as soon as the reply to the last one is in (or, paced, a think time after it);
// reports requests per second and the latency percentiles. See docs/performance.md.
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QStringList>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <thread>

#include "load_run.h"
#include "process_memory.h"

using namespace corvane::load;

namespace {

struct Options {
  LoadTarget target;
  WorkloadSpec spec;
  RunLimits limits;
  QList<int> clientCounts;
  pid_t serverPid = 0;
  // Clients working on a large table beside the measured ones (the mixed run).
  int heavyClients = 0;
  WorkloadSpec heavy;
  QString latencyFile;  // every measured round trip, in microseconds, one a line
};

QCommandLineOption Option(const char* name, const char* help, const char* value = nullptr,
                          const char* fallback = nullptr) {
  if (!value) return QCommandLineOption(QString::fromLatin1(name), QString::fromLatin1(help));
  return QCommandLineOption(QString::fromLatin1(name), QString::fromLatin1(help),
                            QString::fromLatin1(value),
                            fallback ? QString::fromLatin1(fallback) : QString());
}

bool Fail(const QString& message) {
  std::fprintf(stderr, "corvane-bench: %s\n", qPrintable(message));
  return false;
}

bool ReadOptions(const QStringList& arguments, Options& options) {
  QCommandLineParser parser;
  parser.setApplicationDescription(
      QStringLiteral("Load generator of the Corvane server: closed-loop or paced clients, one "
                     "request in flight each."));
  parser.addHelpOption();
  parser.addOptions({
      Option("host", "Server address (IPv4).", "address", "127.0.0.1"),
      Option("port", "The server's listening port.", "port"),
      Option("user", "User name.", "name"),
      Option("password", "Password.", "password"),
      Option("key", "The user's private key.", "key"),
      Option("clients", "Client counts, one run each (e.g. 1,10,50,99).", "list", "1"),
      Option("workload", "next, senddata, findfirst, update, open, sort, hold or handheld.", "name",
             "next"),
      Option("database", "Database number.", "n", "0"),
      Option("table", "Table number.", "n", "0"),
      Option("find-mode", "Mode of FindFirst.", "mode", "0"),
      Option("find-text", "Text of FindFirst.", "text"),
      Option("sort", "Order of Sort.", "order"),
      Option("update-field", "Value an update changes (0-based).", "n", "1"),
      Option("first-record",
             "Record the first client updates (0-based); client k updates the one k after it.", "n",
             "0"),
      Option("seconds", "Measured seconds per run (hold: how long the sets stay open).", "s", "5"),
      Option("warmup", "Seconds run before measuring.", "s", "0.5"),
      Option("requests", "Requests per client (ends the run early).", "n", "0"),
      Option("timeout", "Time limit of each preparation step, in ms.", "ms", "60000"),
      Option("heavy-clients",
             "Clients that sort, find and open a saved query and the table, in turn, beside "
             "the measured ones; their figures are printed too (workload=heavy).",
             "n", "0"),
      Option("heavy-database", "Database of the heavy clients.", "n", "1"),
      Option("heavy-query", "Saved query the heavy clients open.", "n", "0"),
      Option("think-ms",
             "Paced clients: the mean think time after each reply, drawn uniform in "
             "[T/2, 3T/2]; 0 for closed-loop clients.",
             "ms", "0"),
      Option("start-spread", "Paced clients start one after the other over this time.", "s", "1"),
      Option("source",
             "Paced clients: the first client's own address; each further one takes the next.",
             "address"),
      Option("latency-file", "Writes every measured round trip (µs) to this file.", "path"),
      Option("server-pid",
             "The server's process: reports its CPU time per request, and its resident size "
             "before and after opening.",
             "pid"),
  });
  parser.process(arguments);

  bool ok = true;
  auto number = [&](const char* name) {
    bool valid = false;
    const double value = parser.value(QString::fromLatin1(name)).toDouble(&valid);
    if (!valid) ok = Fail(QStringLiteral("--%1 needs a number").arg(QLatin1String(name)));
    return value;
  };
  options.target.host = parser.value(QStringLiteral("host")).toLatin1();
  options.target.port = static_cast<quint16>(number("port"));
  options.target.user = parser.value(QStringLiteral("user")).toLatin1();
  options.target.password = parser.value(QStringLiteral("password")).toLatin1();
  options.target.privateKey = static_cast<int32_t>(number("key"));
  options.target.timeoutMs = static_cast<int>(number("timeout"));
  const std::optional<WorkloadKind> kind =
      ParseWorkloadKind(parser.value(QStringLiteral("workload")).toLatin1());
  if (!kind) ok = Fail(QStringLiteral("unknown workload"));
  options.spec.kind = kind.value_or(WorkloadKind::kNext);
  options.spec.database = static_cast<int>(number("database"));
  options.spec.table = static_cast<int>(number("table"));
  options.spec.findMode = static_cast<int>(number("find-mode"));
  options.spec.findText = parser.value(QStringLiteral("find-text")).toLatin1();
  options.spec.sortOrder = parser.value(QStringLiteral("sort")).toLatin1();
  options.spec.updateField = static_cast<int>(number("update-field"));
  options.spec.firstRecord = static_cast<int>(number("first-record"));
  options.limits.seconds = number("seconds");
  options.limits.warmupSeconds = number("warmup");
  options.limits.requests = static_cast<int64_t>(number("requests"));
  options.limits.thinkMs = number("think-ms");
  options.limits.startSpreadSeconds = number("start-spread");
  options.target.source = parser.value(QStringLiteral("source")).toLatin1();
  options.latencyFile = parser.value(QStringLiteral("latency-file"));
  if (parser.isSet(QStringLiteral("server-pid"))) {
    options.serverPid = static_cast<pid_t>(number("server-pid"));
    options.limits.serverPid = options.serverPid;
  }
  options.heavyClients = static_cast<int>(number("heavy-clients"));
  options.heavy = options.spec;
  options.heavy.kind = WorkloadKind::kHeavy;
  options.heavy.database = static_cast<int>(number("heavy-database"));
  options.heavy.table = 0;
  options.heavy.query = static_cast<int>(number("heavy-query"));
  for (const QString& count : parser.value(QStringLiteral("clients")).split(',')) {
    bool valid = false;
    const int clients = count.trimmed().toInt(&valid);
    if (!valid || clients < 1 || clients > 100) ok = Fail(QStringLiteral("bad client count"));
    options.clientCounts.push_back(clients);
  }
  if (options.target.port == 0 || options.target.user.isEmpty()) {
    ok = Fail(QStringLiteral("--port and --user are needed"));
  }
  if (options.limits.seconds <= 0 && options.limits.requests <= 0 &&
      options.spec.kind != WorkloadKind::kHold) {
    ok = Fail(QStringLiteral("--seconds or --requests must end the run"));
  }
  return ok;
}

double Micros(int64_t nanoseconds) { return nanoseconds / 1000.0; }

void PrintResult(const Options& options, WorkloadKind kind, int clients, RunResult& result,
                 std::optional<int64_t> rssIdle, std::optional<int64_t> rssOpen) {
  QByteArray words;
  for (const auto& [word, count] : result.replyWords) {
    if (!words.isEmpty()) words += ',';
    words += word + ':' + QByteArray::number(count);
  }
  std::printf(
      "workload=%s clients=%d heavy_clients=%d encryption=%s requests=%lld seconds=%.2f "
      "rps=%.0f p50_us=%.1f p99_us=%.1f p999_us=%.1f max_us=%.1f errors=%lld replies=%s",
      WorkloadName(kind).constData(), clients, options.heavyClients,
      result.encrypted ? "on" : "off", static_cast<long long>(result.requests), result.seconds,
      result.RequestsPerSecond(), Micros(result.latency.Percentile(0.50)),
      Micros(result.latency.Percentile(0.99)), Micros(result.latency.Percentile(0.999)),
      Micros(result.latency.Max()), static_cast<long long>(result.errors),
      words.isEmpty() ? "-" : words.constData());
  std::printf(" conflicts=%lld client_cpu_us=%.1f", static_cast<long long>(result.conflicts),
              result.OwnCpuPerRequestUs());
  if (result.serverCpuNanoseconds >= 0) {
    std::printf(" server_cpu_us=%.1f server_cpu_pct=%.1f", result.ServerCpuPerRequestUs(),
                result.seconds > 0 ? result.serverCpuNanoseconds / 1e7 / result.seconds : 0.0);
  }
  if (options.limits.thinkMs > 0) {
    std::printf(
        " logged_on=%d logon_failures=%d logon_max_ms=%.0f logon_longest_ms=%.0f "
        "full_retries=%lld",
        result.loggedOn, result.logonFailures, result.latestLogonNanoseconds / 1e6,
        result.longestLogonNanoseconds / 1e6, static_cast<long long>(result.fullRetries));
  }
  // The round trips by request, "Word:count/p99 ms/max ms".
  QByteArray byCommand;
  for (auto& [word, latency] : result.latencyByCommand) {
    if (!byCommand.isEmpty()) byCommand += ',';
    byCommand += word + ':' + QByteArray::number(qulonglong(latency.Count())) + '/' +
                 QByteArray::number(latency.Percentile(0.99) / 1e6, 'f', 1) + '/' +
                 QByteArray::number(latency.Max() / 1e6, 'f', 1);
  }
  if (!byCommand.isEmpty()) std::printf(" by_request=%s", byCommand.constData());
  if (rssIdle && rssOpen) {
    std::printf(" rss_before_kib=%lld rss_open_kib=%lld", static_cast<long long>(*rssIdle),
                static_cast<long long>(*rssOpen));
  }
  std::printf("\n");
  if (!result.failure.isEmpty()) std::fprintf(stderr, "note: %s\n", qPrintable(result.failure));
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  QCoreApplication::setApplicationName(QStringLiteral("corvane-bench"));
  Options options;
  if (!ReadOptions(QCoreApplication::arguments(), options)) return 2;

  for (int clients : options.clientCounts) {
    RunLimits limits = options.limits;
    limits.clients = clients;
    LoadRun run(options.target, options.spec, limits);
    // The heavy clients work for the whole of the measured run, warm-up included.
    RunLimits heavyLimits = limits;
    heavyLimits.clients = options.heavyClients;
    heavyLimits.serverPid = 0;
    heavyLimits.thinkMs = 0;
    LoadRun heavy(options.target, options.heavy, heavyLimits);
    std::optional<int64_t> rssIdle;
    std::optional<int64_t> rssOpen;
    try {
      if (options.serverPid > 0) rssIdle = ResidentKib(options.serverPid);
      if (options.heavyClients > 0) heavy.Prepare();
      run.Prepare();
      if (options.serverPid > 0) rssOpen = ResidentKib(options.serverPid);
      if (options.spec.kind == WorkloadKind::kHold && limits.seconds > 0) {
        std::this_thread::sleep_for(std::chrono::duration<double>(limits.seconds));
      }
      RunResult heavyResult;
      std::thread heavyThread;
      if (options.heavyClients > 0) {
        heavyThread = std::thread([&heavy, &heavyResult] { heavyResult = heavy.Measure(); });
      }
      RunResult result = run.Measure();
      if (heavyThread.joinable()) heavyThread.join();
      if (!options.latencyFile.isEmpty()) {
        std::ofstream file(options.latencyFile.toStdString());
        for (int64_t nanoseconds : result.latency.Samples()) file << nanoseconds / 1000 << '\n';
      }
      PrintResult(options, options.spec.kind, clients, result, rssIdle, rssOpen);
      if (options.heavyClients > 0) {
        PrintResult(options, WorkloadKind::kHeavy, options.heavyClients, heavyResult, {}, {});
      }
    } catch (const LoadError& error) {
      Fail(QStringLiteral("%1 clients: %2").arg(clients).arg(QString::fromStdString(error.what())));
      return 1;
    }
  }
  return 0;
}
