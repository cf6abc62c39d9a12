#include "load_run.h"

#include <sys/epoll.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>

#include "process_memory.h"

namespace corvane::load {
namespace {

int64_t OwnCpuNanoseconds() {
  timespec now{};
  ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return int64_t{now.tv_sec} * 1000000000 + now.tv_nsec;
}

using Clock = std::chrono::steady_clock;

bool IsErrorWord(const QByteArray& word) {
  return word == "ErrorDB" || word == "ErrorUpdate" || word == "UserDenied" || word == "NoDatabase";
}

// After these the server has cleared the slot's logon: nothing more would be answered.
bool EndsSession(const QByteArray& word) { return word == "ErrorDB" || word == "UserDenied"; }

Clock::duration Seconds(double seconds) {
  return std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
}

}  // namespace

struct LoadRun::Client {
  Client(const LoadTarget& target, const WorkloadSpec& spec) : connection(target), plan(spec) {}

  LoadConnection connection;
  RequestPlan plan;
  QByteArray fixedFrame;              // the request when it never changes
  std::optional<ClientReply> record;  // the last reply, for plans that build on it
  Clock::time_point sentAt;
  int64_t completed = 0;
  bool active = true;

  bool SendNext() {
    if (!fixedFrame.isEmpty()) {
      sentAt = Clock::now();
      return connection.Send(fixedFrame);
    }
    const std::optional<QByteArray> text = plan.NextText(record ? &*record : nullptr);
    if (!text) return false;
    const QByteArray frame = connection.Frame(*text);
    sentAt = Clock::now();
    return connection.Send(frame);
  }
};

LoadRun::LoadRun(const LoadTarget& target, const WorkloadSpec& spec, const RunLimits& limits)
    : target_(target), spec_(spec), limits_(limits) {}

LoadRun::~LoadRun() = default;

void LoadRun::Prepare() {
  clients_.clear();
  for (int i = 0; i < limits_.clients; ++i) {
    // A connection the server's status refresh caught before its logon is closed; such a
    // client starts over.
    for (int attempt = 1;; ++attempt) {
      try {
        clients_.push_back(PrepareClient(i));
        break;
      } catch (const LoadError&) {
        if (attempt == 3) throw;
      }
    }
  }
}

std::unique_ptr<LoadRun::Client> LoadRun::PrepareClient(int index) {
  auto client = std::make_unique<Client>(target_, spec_);
  LoadConnection& connection = client->connection;
  connection.ConnectAndLogon();
  const ClientReply fields = connection.Exchange(client->plan.OpenText());
  if (fields.word != "Fields") {
    throw LoadError("the table did not open: " + fields.word.toStdString() + " " +
                    fields.fields.join(' ').toStdString());
  }
  if (spec_.kind == WorkloadKind::kUpdate) {
    // Each client updates a record of its own: updates of one record by several clients
    // would fail as changed by another user.
    for (int step = 0; step < spec_.firstRecord + index; ++step) {
      connection.Exchange(MessageText("Next"));
    }
    client->record = connection.Exchange(MessageText("SendTheData"));
  }
  if (client->plan.FixedText()) {
    if (const std::optional<QByteArray> text = client->plan.NextText(nullptr)) {
      client->fixedFrame = connection.Frame(*text);
    }
  }
  return client;
}

RunResult LoadRun::Measure() {
  RunResult result;
  if (clients_.empty()) return result;
  result.encrypted = clients_.front()->connection.Encrypted();
  if (spec_.kind == WorkloadKind::kHold) return result;

  const int epoll = ::epoll_create1(EPOLL_CLOEXEC);
  if (epoll < 0) throw LoadError("epoll_create1 failed");
  for (size_t i = 0; i < clients_.size(); ++i) {
    epoll_event event{};
    event.events = EPOLLIN;
    event.data.u64 = i;
    ::epoll_ctl(epoll, EPOLL_CTL_ADD, clients_[i]->connection.fd(), &event);
  }
  const Clock::time_point start = Clock::now();
  const Clock::time_point measureFrom = start + Seconds(limits_.warmupSeconds);
  const bool timed = limits_.seconds > 0;
  const Clock::time_point end =
      timed ? measureFrom + Seconds(limits_.seconds) : Clock::time_point::max();
  result.latency.Reserve(timed ? static_cast<size_t>(limits_.seconds * 200000) : 1024);

  size_t active = 0;
  for (auto& client : clients_) {
    if (client->SendNext()) {
      ++active;
    } else {
      client->active = false;
      result.failure = QStringLiteral("a client could not send its first request");
    }
  }
  Clock::time_point lastReply = start;
  // CPU times are taken when the measured time begins and when the run ends.
  bool measuring = false;
  std::optional<int64_t> serverCpuFrom;
  int64_t ownCpuFrom = 0;
  auto startMeasuring = [&] {
    measuring = true;
    if (limits_.serverPid > 0) serverCpuFrom = CpuNanoseconds(limits_.serverPid);
    ownCpuFrom = OwnCpuNanoseconds();
  };
  if (limits_.warmupSeconds <= 0) startMeasuring();
  std::vector<epoll_event> events(clients_.size());
  while (active > 0) {
    const Clock::time_point now = Clock::now();
    if (now >= end) break;
    if (!measuring && now >= measureFrom) startMeasuring();
    int waitMs = 100;
    if (timed) {
      waitMs = static_cast<int>(std::min<int64_t>(
          100, std::chrono::duration_cast<std::chrono::milliseconds>(end - now).count() + 1));
    }
    const int n = ::epoll_wait(epoll, events.data(), static_cast<int>(events.size()), waitMs);
    for (int e = 0; e < n; ++e) {
      Client& client = *clients_[events[e].data.u64];
      if (!client.active) continue;
      const bool open = client.connection.ReadAvailable();
      while (client.active) {
        std::optional<ClientReply> reply = client.connection.TakeReply();
        if (!reply) break;
        const Clock::time_point at = Clock::now();
        ++result.replyWords[reply->word];
        if (IsErrorWord(reply->word)) ++result.errors;
        if (!client.plan.FinalReply(*reply)) continue;
        if (at >= measureFrom && at <= end) {
          ++result.requests;
          result.latency.Record(
              std::chrono::duration_cast<std::chrono::nanoseconds>(at - client.sentAt).count());
          lastReply = at;
        }
        ++client.completed;
        const bool stop = EndsSession(reply->word) ||
                          (limits_.requests > 0 && client.completed >= limits_.requests);
        if (EndsSession(reply->word)) {
          result.failure = QStringLiteral("the server answered %1: %2")
                               .arg(QString::fromLatin1(reply->word),
                                    QString::fromLatin1(reply->fields.join(' ')));
        }
        client.record = std::move(*reply);
        if (stop || at >= end || !client.SendNext()) {
          client.active = false;
          --active;
        }
      }
      if (!open && client.active) {
        client.active = false;
        --active;
        result.failure = QStringLiteral("the server closed a connection");
      }
    }
  }
  ::close(epoll);
  if (measuring) {
    result.ownCpuNanoseconds = OwnCpuNanoseconds() - ownCpuFrom;
    const std::optional<int64_t> serverCpuTo =
        limits_.serverPid > 0 ? CpuNanoseconds(limits_.serverPid) : std::nullopt;
    if (serverCpuFrom && serverCpuTo) result.serverCpuNanoseconds = *serverCpuTo - *serverCpuFrom;
  }
  const Clock::time_point measuredEnd = timed ? std::min(Clock::now(), end) : lastReply;
  result.seconds = std::chrono::duration<double>(measuredEnd - measureFrom).count();
  for (auto& client : clients_) client->connection.Close();
  return result;
}

}  // namespace corvane::load
