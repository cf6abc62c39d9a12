#include "base/database_wait_guard.h"

#include <QtGlobal>

namespace corvane {
namespace {

// Per thread: a mark belongs to the thread that runs a loop, not to any one server (tests
// run several servers on one thread).
thread_local int marks = 0;
thread_local int permits = 0;

}  // namespace

EventLoopThreadMark::EventLoopThreadMark() { ++marks; }

EventLoopThreadMark::~EventLoopThreadMark() { --marks; }

DatabaseWaitPermit::DatabaseWaitPermit() { ++permits; }

DatabaseWaitPermit::~DatabaseWaitPermit() { --permits; }

bool DatabaseWaitForbiddenHere() { return marks > 0 && permits == 0; }

void CheckDatabaseWait(const char* entryPoint) {
  if (DatabaseWaitForbiddenHere()) {
    qFatal("%s was called on a server's event-loop thread, which must never wait on a database",
           entryPoint);
  }
}

}  // namespace corvane
