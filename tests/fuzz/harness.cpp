#include "harness.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <cstdio>
#include <cstdlib>
#include <memory>

namespace corvane::fuzz {
namespace {

// The fuzzer's process is the harness's to own: one application and one folder for the run.
struct Process {
  // Never destroyed: libFuzzer ends the process with exit(), after Qt's own globals are
  // gone, and the application's destructor would touch them.
  QCoreApplication* app = nullptr;
  std::unique_ptr<QTemporaryDir> scratch;
};

Process& TheProcess() {
  static Process process;
  return process;
}

// Creates the QCoreApplication once for the whole run.
void EnsureApplication() {
  Process& process = TheProcess();
  if (process.app) return;
  // QCoreApplication keeps references to its arguments for its whole life.
  static int argc = 1;
  static char name[] = "corvane-fuzz";
  static char* argv[] = {name, nullptr};
  process.app = new QCoreApplication(argc, argv);
}

}  // namespace

// Weak, so that a target's own definition replaces it at link time.
[[gnu::weak]] void SetUpTarget() {}

QString ScratchDirectory() {
  Process& process = TheProcess();
  if (!process.scratch) process.scratch = std::make_unique<QTemporaryDir>();
  return process.scratch->path();
}

void Fail(const char* what) {
  std::fprintf(stderr, "fuzz expectation broken: %s\n", what);
  std::abort();
}

}  // namespace corvane::fuzz

// libFuzzer calls this once before the first input, and so does replay_main.cpp.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
  corvane::fuzz::EnsureApplication();
  corvane::fuzz::SetUpTarget();
  return 0;
}
