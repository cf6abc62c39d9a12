#pragma once

#include <QLocale>

#include "base/catalogue.h"
#include "commands/slot_databases.h"
#include "commands/value_text.h"

namespace corvane {

class CommandDispatcher;
class SessionTable;

// The database commands of the client protocol, from "RequestTheTable" to "FindNext":
// owns every slot's database side, adds the commands' rows to a dispatcher and lets the
// sessions close slot databases and show them in activity rows. `catalogue` is the
// server's own ("SaveQuery" extends its query lists); `locale` gives the regional formats
// of value texts (the system's in a running server).
class DatabaseCommands {
 public:
  DatabaseCommands(Catalogue& catalogue, QLocale locale);
  ~DatabaseCommands();
  DatabaseCommands(const DatabaseCommands&) = delete;
  DatabaseCommands& operator=(const DatabaseCommands&) = delete;

  // Adds the rows after the ones the dispatcher already has and hooks the slot
  // databases into the sessions.
  void Install(CommandDispatcher& dispatcher, SessionTable& sessions);

  SlotDatabases& Slots() { return slots_; }
  const QLocale& locale() const { return formats_.locale; }

 private:
  Catalogue& catalogue_;
  RegionalFormats formats_;
  SlotDatabases slots_;
  SessionTable* sessions_ = nullptr;
};

}  // namespace corvane
