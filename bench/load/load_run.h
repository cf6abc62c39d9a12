#pragma once

#include <sys/types.h>

#include <QByteArray>
#include <QString>
#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <vector>

#include "latency_summary.h"
#include "load_connection.h"
#include "request_plan.h"

namespace corvane::load {

struct RunLimits {
  int clients = 1;
  double seconds = 5.0;        // measured time; 0 = no time limit (then `requests` must be set)
  double warmupSeconds = 0.5;  // run but not measured
  int64_t requests = 0;        // per client; 0 = no limit
  pid_t serverPid = 0;         // when set, the server's CPU time in the measured time is taken
  // Paced clients (handhelds): each waits a drawn think time around this mean after every
  // reply before it sends its next request; 0: closed loop, the next request at once.
  double thinkMs = 0.0;
  // Paced clients start one after the other over this time, each on its own thread, and
  // each connects from its own address (the target's source address, counted up).
  double startSpreadSeconds = 1.0;
};

struct RunResult {
  bool encrypted = false;
  int64_t requests = 0;  // completed within the measured time
  double seconds = 0.0;  // the measured time
  LatencyRecorder latency;
  std::map<QByteArray, LatencyRecorder> latencyByCommand;  // paced runs: by request
  std::map<QByteArray, int64_t> replyWords;                // every reply received, by word
  int64_t errors = 0;  // "ErrorDB", "ErrorUpdate", "UserDenied", "NoDatabase" replies
  // Of those, updates refused because another client saved the record first (3197).
  int64_t conflicts = 0;
  // Paced runs: clients logged on, those that could not, the latest logon counted from the
  // start of the preparation, and how often a client was told the port "0".
  int loggedOn = 0;
  int logonFailures = 0;
  int64_t latestLogonNanoseconds = 0;
  int64_t longestLogonNanoseconds = 0;  // from a client's own start to its logon
  int64_t fullRetries = 0;
  QString failure;                    // why clients stopped early; empty when none did
  int64_t serverCpuNanoseconds = -1;  // -1: not measured
  int64_t ownCpuNanoseconds = 0;      // the generator's, in the measured time

  // CPU time per request, in microseconds; negative when not measured.
  double ServerCpuPerRequestUs() const {
    return serverCpuNanoseconds < 0 || requests == 0 ? -1.0 : serverCpuNanoseconds / 1e3 / requests;
  }
  double OwnCpuPerRequestUs() const {
    return requests == 0 ? -1.0 : ownCpuNanoseconds / 1e3 / requests;
  }

  double RequestsPerSecond() const { return seconds > 0 ? requests / seconds : 0.0; }
};

// N clients against one server: Prepare connects, logs on and opens the table on each, one
// after the other (paced clients: side by side, spread over the start time); Measure then
// runs them all at once from one thread, each client sending its next request as soon as its
// reply is in (paced: a think time later).
class LoadRun {
 public:
  LoadRun(const LoadTarget& target, const WorkloadSpec& spec, const RunLimits& limits);
  ~LoadRun();

  // Throws LoadError when a client cannot get ready.
  void Prepare();
  RunResult Measure();

 private:
  struct Client;
  std::unique_ptr<Client> PrepareClient(int index);
  // A client ready, trying again when the status refresh closed it before its logon.
  std::unique_ptr<Client> PrepareClientWithRetry(int index);
  void PrepareHandhelds();

  LoadTarget target_;
  WorkloadSpec spec_;
  RunLimits limits_;
  std::vector<std::unique_ptr<Client>> clients_;
  std::chrono::steady_clock::time_point preparedFrom_;
  int logonFailures_ = 0;
  QString logonFailure_;
};

}  // namespace corvane::load
