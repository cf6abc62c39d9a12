#pragma once

#include <functional>

namespace corvane {

// Runs the calling thread's events until `done` holds or `timeoutMs` passed, so that a
// server in the same thread keeps working while the client waits. True when `done` held;
// it is never asked again after it held, as it may consume what it found.
bool WaitUntil(const std::function<bool()>& done, int timeoutMs);

}  // namespace corvane
