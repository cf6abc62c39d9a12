#pragma once

#include <QStringList>
#include <functional>

#include "base/catalogue.h"
#include "config/database_check_ui.h"
#include "engine/database.h"

namespace corvane {

// Runs the part of the check that waits on a server database (connecting may take the
// whole connect timeout) away from the event-loop thread, and returns once it is done,
// letting events run meanwhile.
class DatabaseCheckWorker {
 public:
  virtual ~DatabaseCheckWorker() = default;
  virtual void RunAside(const std::function<void()>& work) = 0;
};

// Builds the table and query lists of the catalogue by opening every published
// database and every table and stored query in it; databases that cannot be read are
// reported to the operator and withdrawn from the published list. Run as CheckTables
// followed by CheckQueries.
class DatabaseCheck {
 public:
  // Without `worker`, server databases are checked on the calling thread.
  DatabaseCheck(Catalogue& catalogue, DatabaseOpener& databases, DatabaseCheckProgress& progress,
                DatabaseErrorPrompt& prompt, DatabaseCheckWorker* worker = nullptr);

  void Run() {
    CheckTables();
    CheckQueries();
  }
  // Lists the tables (user and linked ones) that open, in definition order.
  void CheckTables();
  // Lists the stored queries that open and whose name holds no "~".
  void CheckQueries();

  // Databases that failed in the last table pass and query pass (display names).
  const QStringList& removeLater() const { return removeLater_; }
  const QStringList& removeQueryLater() const { return removeQueryLater_; }

  // Removes the first published database of each name in `failed`, with its table and
  // query lists, so that list d stays the list of published database d.
  static void DropFailedDatabases(Catalogue& catalogue, const QStringList& failed);

  static constexpr int32_t kLinkedTableAttributes = 0x40000000;
  static constexpr int32_t kLinkedOdbcTableAttributes = 0x20000000;

  enum class Pass { kTables, kQueries };
  // The tables (or stored queries) of the database at `location` that the check would
  // list, opening it on the calling thread; throws EngineError when it cannot be opened.
  static QStringList ListedObjects(DatabaseOpener& databases, const QString& location, Pass pass);

 private:
  // What the listing reports as it goes: the database opened, an object listed, a moment
  // between objects.
  struct Steps {
    std::function<void()> opened;
    std::function<void(const QString&)> listed;
    std::function<void()> between;
  };
  static void ListObjects(DatabaseOpener& databases, const QString& location, Pass pass,
                          const Steps& steps);
  void RunPass(Pass pass);
  void CheckDatabase(Pass pass, size_t d);
  // A server database's objects, gathered by the worker and shown here.
  void CheckAside(Pass pass, const QString& name, const QString& location,
                  const std::function<void(const QString&)>& list);

  Catalogue& catalogue_;
  DatabaseOpener& databases_;
  DatabaseCheckProgress& progress_;
  DatabaseErrorPrompt& prompt_;
  DatabaseCheckWorker* worker_;
  QStringList removeLater_;
  QStringList removeQueryLater_;
};

}  // namespace corvane
