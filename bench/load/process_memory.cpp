#include "process_memory.h"

#include <fstream>
#include <sstream>
#include <string>

namespace corvane::load {

std::optional<int64_t> ResidentKib(pid_t pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmRSS:", 0) != 0) continue;
    std::istringstream fields(line.substr(6));
    int64_t kib = 0;
    if (fields >> kib) return kib;
  }
  return std::nullopt;
}

std::optional<int64_t> CpuNanoseconds(pid_t pid) {
  std::ifstream schedstat("/proc/" + std::to_string(pid) + "/schedstat");
  int64_t nanoseconds = 0;
  if (schedstat >> nanoseconds) return nanoseconds;
  return std::nullopt;
}

}  // namespace corvane::load
