#include "load_run.h"

#include <arpa/inet.h>
#include <sys/epoll.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <queue>
#include <thread>

#include "process_memory.h"
#include "wire/control_chars.h"

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

bool IsConflict(const ClientReply& reply) {
  return reply.word == "ErrorUpdate" && !reply.fields.isEmpty() &&
         reply.fields.front().startsWith("Another user changed this record");
}

// The address `count` after `first` (127.0.1.1 and 3: 127.0.1.4); empty stays empty.
QByteArray AddressAfter(const QByteArray& first, int count) {
  in_addr address{};
  if (first.isEmpty() || ::inet_pton(AF_INET, first.constData(), &address) != 1) return first;
  address.s_addr = htonl(ntohl(address.s_addr) + static_cast<uint32_t>(count));
  char text[INET_ADDRSTRLEN] = {};
  ::inet_ntop(AF_INET, &address, text, sizeof text);
  return QByteArray(text);
}

// The command of a message text: STX, the word, EOT.
QByteArray CommandWord(const QByteArray& text) {
  const qsizetype end = text.indexOf(kEot);
  return end > 1 ? text.mid(1, end - 1) : QByteArray();
}

// After these the server has cleared the slot's logon: nothing more would be answered.
bool EndsSession(const QByteArray& word) { return word == "ErrorDB" || word == "UserDenied"; }

Clock::duration Seconds(double seconds) {
  return std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
}

}  // namespace

struct LoadRun::Client {
  Client(const LoadTarget& target, const WorkloadSpec& spec, int index)
      : connection(target), plan(spec, index) {}

  LoadConnection connection;
  RequestPlan plan;
  QByteArray fixedFrame;              // the request when it never changes
  std::optional<ClientReply> record;  // the last reply, for plans that build on it
  Clock::time_point sentAt;
  QByteArray sentWord;  // the command of the request in flight
  int64_t completed = 0;
  bool active = true;
  Clock::time_point loggedOnAt;
  Clock::duration logonTook{};
  int fullRetries = 0;

  bool SendNext() {
    if (!fixedFrame.isEmpty()) {
      sentAt = Clock::now();
      return connection.Send(fixedFrame);
    }
    const std::optional<QByteArray> text = plan.NextText(record ? &*record : nullptr);
    if (!text) return false;
    sentWord = CommandWord(*text);
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
  logonFailures_ = 0;
  logonFailure_.clear();
  preparedFrom_ = Clock::now();
  if (limits_.thinkMs > 0) return PrepareHandhelds();
  for (int i = 0; i < limits_.clients; ++i) clients_.push_back(PrepareClientWithRetry(i));
}

std::unique_ptr<LoadRun::Client> LoadRun::PrepareClientWithRetry(int index) {
  // A connection the server's status refresh caught before its logon is closed; such a
  // client starts over.
  for (int attempt = 1;; ++attempt) {
    try {
      return PrepareClient(index);
    } catch (const LoadError&) {
      if (attempt == 3) throw;
    }
  }
}

void LoadRun::PrepareHandhelds() {
  // Handhelds are switched on independently: each logs on from its own thread, so one
  // waiting for its slot or logon holds no other.
  const int count = limits_.clients;
  clients_.resize(count);
  std::vector<std::string> failures(count);
  std::vector<std::thread> threads;
  threads.reserve(count);
  for (int i = 0; i < count; ++i) {
    threads.emplace_back([this, i, count, &failures] {
      std::this_thread::sleep_until(preparedFrom_ +
                                    Seconds(limits_.startSpreadSeconds * i / count));
      try {
        clients_[i] = PrepareClientWithRetry(i);
      } catch (const LoadError& error) {
        failures[i] = error.what();
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (int i = 0; i < count; ++i) {
    if (failures[i].empty()) continue;
    ++logonFailures_;
    logonFailure_ = QStringLiteral("client %1: %2").arg(i).arg(QString::fromStdString(failures[i]));
  }
  std::erase(clients_, nullptr);
}

std::unique_ptr<LoadRun::Client> LoadRun::PrepareClient(int index) {
  LoadTarget target = target_;
  if (limits_.thinkMs > 0) target.source = AddressAfter(target_.source, index);
  auto client = std::make_unique<Client>(target, spec_, index);
  LoadConnection& connection = client->connection;
  const Clock::time_point began = Clock::now();
  connection.ConnectAndLogon();
  client->loggedOnAt = Clock::now();
  client->logonTook = client->loggedOnAt - began;
  client->fullRetries = connection.FullRetries();
  const ClientReply fields = connection.Exchange(client->plan.OpenText());
  if (fields.word != "Fields") {
    throw LoadError("the table did not open: " + fields.word.toStdString() + " " +
                    fields.fields.join(' ').toStdString());
  }
  client->plan.Opened(fields);
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
  result.logonFailures = logonFailures_;
  if (!logonFailure_.isEmpty()) result.failure = logonFailure_;
  for (const auto& client : clients_) {
    ++result.loggedOn;
    result.fullRetries += client->fullRetries;
    result.longestLogonNanoseconds = std::max<int64_t>(
        result.longestLogonNanoseconds,
        std::chrono::duration_cast<std::chrono::nanoseconds>(client->logonTook).count());
    result.latestLogonNanoseconds = std::max<int64_t>(
        result.latestLogonNanoseconds,
        std::chrono::duration_cast<std::chrono::nanoseconds>(client->loggedOnAt - preparedFrom_)
            .count());
  }
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
  // Closed loop: more than this machine's best rate; paced: twice what the pace allows.
  const double perSecond =
      limits_.thinkMs > 0 ? 2000.0 * clients_.size() / limits_.thinkMs : 200000.0;
  result.latency.Reserve(timed ? static_cast<size_t>(limits_.seconds * perSecond) : 1024);

  // Paced clients: when each sends next, the soonest first. Their first requests are spread
  // over one think time, as handhelds switched on at different moments.
  const bool paced = limits_.thinkMs > 0;
  using Due = std::pair<Clock::time_point, size_t>;
  std::priority_queue<Due, std::vector<Due>, std::greater<Due>> due;
  auto thinkTime = [&](Client& client) {
    return std::chrono::duration_cast<Clock::duration>(
        std::chrono::duration<double, std::milli>(client.plan.ThinkMs(limits_.thinkMs)));
  };
  const auto halfThink = std::chrono::duration_cast<Clock::duration>(
      std::chrono::duration<double, std::milli>(limits_.thinkMs / 2));
  size_t active = 0;
  for (size_t i = 0; i < clients_.size(); ++i) {
    Client& client = *clients_[i];
    if (paced) {
      due.push({start + thinkTime(client) - halfThink, i});
      ++active;
    } else if (client.SendNext()) {
      ++active;
    } else {
      client.active = false;
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
    while (!due.empty() && due.top().first <= now) {
      Client& client = *clients_[due.top().second];
      due.pop();
      if (client.active && !client.SendNext()) {
        client.active = false;
        --active;
        result.failure = QStringLiteral("a client could not send");
      }
    }
    Clock::time_point wakeAt = std::min(end, now + std::chrono::milliseconds(100));
    if (!due.empty()) wakeAt = std::min(wakeAt, due.top().first);
    // Whole milliseconds rounded up: a paced request goes out at most 1 ms late, and its
    // round trip is timed from when it went out.
    const int waitMs = static_cast<int>(
        std::chrono::ceil<std::chrono::milliseconds>(std::max(wakeAt - now, Clock::duration{}))
            .count());
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
        if (IsConflict(*reply)) ++result.conflicts;
        if (!client.plan.FinalReply(*reply)) continue;
        if (at >= measureFrom && at <= end) {
          ++result.requests;
          const int64_t nanoseconds =
              std::chrono::duration_cast<std::chrono::nanoseconds>(at - client.sentAt).count();
          result.latency.Record(nanoseconds);
          if (paced) result.latencyByCommand[client.sentWord].Record(nanoseconds);
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
        if (stop || at >= end) {
          client.active = false;
          --active;
        } else if (paced) {
          due.push({at + thinkTime(client), static_cast<size_t>(events[e].data.u64)});
        } else if (!client.SendNext()) {
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
