#include "process_memory.h"

#include <filesystem>
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
  // Every thread of the process: the server's workers as well as its event loop.
  const std::filesystem::path tasks = "/proc/" + std::to_string(pid) + "/task";
  std::error_code error;
  int64_t total = 0;
  bool any = false;
  for (const auto& task : std::filesystem::directory_iterator(tasks, error)) {
    std::ifstream schedstat(task.path() / "schedstat");
    int64_t nanoseconds = 0;
    if (schedstat >> nanoseconds) {
      total += nanoseconds;
      any = true;
    }
  }
  if (!any) return std::nullopt;
  return total;
}

}  // namespace corvane::load
