#pragma once

#include <sys/types.h>

#include <QByteArray>
#include <QString>
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
};

struct RunResult {
  bool encrypted = false;
  int64_t requests = 0;  // completed within the measured time
  double seconds = 0.0;  // the measured time
  LatencyRecorder latency;
  std::map<QByteArray, int64_t> replyWords;  // every reply received, by word
  int64_t errors = 0;  // "ErrorDB", "ErrorUpdate", "UserDenied", "NoDatabase" replies
  QString failure;     // why clients stopped early; empty when none did
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
// after the other; Measure then runs them all
// at once from one thread, each client sending its next request as soon as its reply is in.
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

  LoadTarget target_;
  WorkloadSpec spec_;
  RunLimits limits_;
  std::vector<std::unique_ptr<Client>> clients_;
};

}  // namespace corvane::load
