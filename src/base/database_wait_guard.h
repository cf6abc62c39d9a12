#pragma once

namespace corvane {

// A server's event-loop thread never waits on a database: a statement, a connect, a close or
// a checkpoint can take seconds behind another program's lock or a server that stopped
// answering, and every client of the server would wait with it. The thread that runs a
// server's loop carries a mark while the server lives; in builds with the guard on
// (CORVANE_THREAD_GUARD: the test and sanitizer builds) the engine's entry points that may
// wait end the program, naming themselves, when they are called on a marked thread.
class EventLoopThreadMark {
 public:
  EventLoopThreadMark();
  ~EventLoopThreadMark();
  EventLoopThreadMark(const EventLoopThreadMark&) = delete;
  EventLoopThreadMark& operator=(const EventLoopThreadMark&) = delete;
};

// Lifts the calling thread's mark while it lives, for code that waits there on purpose and
// knows nobody is being served meanwhile (a test reading a database between requests).
class DatabaseWaitPermit {
 public:
  DatabaseWaitPermit();
  ~DatabaseWaitPermit();
  DatabaseWaitPermit(const DatabaseWaitPermit&) = delete;
  DatabaseWaitPermit& operator=(const DatabaseWaitPermit&) = delete;
};

// Whether the calling thread carries a mark that no permit lifts.
bool DatabaseWaitForbiddenHere();
// Ends the program with a message naming `entryPoint` when DatabaseWaitForbiddenHere.
void CheckDatabaseWait(const char* entryPoint);

}  // namespace corvane

// At an entry point that may wait on a database; nothing in builds without the guard.
#ifdef CORVANE_THREAD_GUARD
#define CORVANE_CHECK_DATABASE_WAIT(entryPoint) ::corvane::CheckDatabaseWait(entryPoint)
#else
#define CORVANE_CHECK_DATABASE_WAIT(entryPoint) static_cast<void>(0)
#endif
