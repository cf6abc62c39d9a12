#pragma once

#include <QStringList>
#include <functional>

#include "base/catalogue.h"
#include "config/database_check_ui.h"
#include "engine/database.h"

namespace corvane {

// Builds the table and query lists of a catalogue by opening every published database and
// every table and stored query in it; databases that cannot be read are reported to the
// operator and left out of the published list. It waits on every database it opens, so the
// server runs it on a worker and takes the catalogue it returns on the event-loop thread.
class DatabaseCheck {
 public:
  DatabaseCheck(DatabaseOpener& databases, DatabaseCheckProgress& progress,
                DatabaseErrorPrompt& prompt);

  // CheckTables followed by CheckQueries over `published`.
  Catalogue Run(PublishedList published);
  // Lists the tables (user and linked ones) that open, in definition order.
  void CheckTables(Catalogue& catalogue);
  // Lists the stored queries that open and whose name holds no "~".
  void CheckQueries(Catalogue& catalogue);

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
  // list, each also given to `shown` as it is found; throws EngineError when it cannot be
  // opened.
  static QStringList ListedObjects(DatabaseOpener& databases, const QString& location, Pass pass,
                                   const std::function<void(const QString&)>& shown = {});

 private:
  void RunPass(Catalogue& catalogue, Pass pass);
  void CheckDatabase(Catalogue& catalogue, Pass pass, size_t d);

  DatabaseOpener& databases_;
  DatabaseCheckProgress& progress_;
  DatabaseErrorPrompt& prompt_;
  QStringList removeLater_;
  QStringList removeQueryLater_;
};

}  // namespace corvane
