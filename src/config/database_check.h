#pragma once

#include <QStringList>

#include "base/catalogue.h"
#include "config/database_check_ui.h"
#include "engine/database.h"

namespace corvane {

// Builds the table and query lists of the catalogue by opening every published
// database and every table and stored query in it; databases that cannot be read are
// reported to the operator and withdrawn from the published list. Run as CheckTables
// followed by CheckQueries.
class DatabaseCheck {
 public:
  DatabaseCheck(Catalogue& catalogue, DatabaseOpener& databases, DatabaseCheckProgress& progress,
                DatabaseErrorPrompt& prompt);

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

 private:
  enum class Pass { kTables, kQueries };
  void RunPass(Pass pass);
  void CheckDatabase(Pass pass, size_t d);

  Catalogue& catalogue_;
  DatabaseOpener& databases_;
  DatabaseCheckProgress& progress_;
  DatabaseErrorPrompt& prompt_;
  QStringList removeLater_;
  QStringList removeQueryLater_;
};

}  // namespace corvane
