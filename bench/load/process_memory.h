#pragma once

#include <sys/types.h>

#include <cstdint>
#include <optional>

namespace corvane::load {

// The resident size of a process in KiB (VmRSS of /proc/PID/status); nothing when unreadable.
std::optional<int64_t> ResidentKib(pid_t pid);

// CPU time every thread of the process has used, in nanoseconds (/proc/PID/task/*/schedstat).
std::optional<int64_t> CpuNanoseconds(pid_t pid);

}  // namespace corvane::load
