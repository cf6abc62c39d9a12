#include "config/database_check.h"

#include <QFileInfo>

#include "engine/engine_error.h"

namespace corvane {

DatabaseCheck::DatabaseCheck(Catalogue& catalogue, DatabaseOpener& databases,
                             DatabaseCheckProgress& progress, DatabaseErrorPrompt& prompt)
    : catalogue_(catalogue), databases_(databases), progress_(progress), prompt_(prompt) {}

void DatabaseCheck::CheckTables() { RunPass(Pass::kTables); }

void DatabaseCheck::CheckQueries() { RunPass(Pass::kQueries); }

void DatabaseCheck::RunPass(Pass pass) {
  progress_.ShowHeading(pass == Pass::kTables ? QStringLiteral("Table: ")
                                              : QStringLiteral("Query: "));
  progress_.LetEventsRun();
  if (catalogue_.published.empty()) {
    progress_.Close();
    return;
  }
  QStringList& failed = pass == Pass::kTables ? removeLater_ : removeQueryLater_;
  failed.clear();
  for (size_t d = 0; d < catalogue_.published.size(); ++d) CheckDatabase(pass, d);
  if (!failed.isEmpty()) DropFailedDatabases(catalogue_, failed);
  if (pass == Pass::kQueries) progress_.Close();
}

void DatabaseCheck::CheckDatabase(Pass pass, size_t d) {
  std::vector<QStringList>& lists =
      pass == Pass::kTables ? catalogue_.tableLists : catalogue_.queryLists;
  if (lists.size() <= d) lists.resize(d + 1);
  lists[d].clear();
  // Copies: events run during the check may change the catalogue.
  const QString name = catalogue_.published[d].name;
  const QString location = catalogue_.published[d].ServedPath();
  if (!catalogue_.published[d].IsServerDatabase() && !QFileInfo(location).isFile()) return;
  // Pending events run between objects, so the list is looked up each time.
  auto list = [&](const QString& object) {
    if (d < lists.size()) lists[d] << object;
  };
  try {
    std::unique_ptr<Database> db = databases_.Open(location);
    progress_.ShowDatabase(name);
    if (pass == Pass::kTables) {
      for (const TableDef& def : db->TableDefs()) {
        if (def.attributes != kUserTableAttributes && def.attributes != kLinkedTableAttributes &&
            def.attributes != kLinkedOdbcTableAttributes)
          continue;
        try {
          std::unique_ptr<Recordset> rs = db->OpenRecordset(def.name);
          list(def.name);
          progress_.ShowObject(def.name);
          progress_.LetEventsRun();
          rs->Close();
        } catch (const EngineError&) {
          // A table that cannot be opened is simply not offered.
        }
      }
    } else {
      for (const QueryDef& query : db->QueryDefs()) {
        try {
          // Preparing the query shows whether it can be read; running it could take as
          // long and as much memory as the query likes, before any client asked for it.
          db->QueryFieldNames(query.Name());
          if (!query.Name().contains(QLatin1Char('~'))) {
            list(query.Name());
            progress_.ShowObject(query.Name());
          }
          progress_.LetEventsRun();
        } catch (const EngineError&) {
          // Queries asking for parameters or over missing tables are not offered.
        }
      }
    }
    db->Close();
  } catch (const EngineError& error) {
    prompt_.ShowDatabaseError(
        QStringLiteral("Database Error: ") + name + QStringLiteral("\r\r") + error.description(),
        QStringLiteral("Database Error"));
    (pass == Pass::kTables ? removeLater_ : removeQueryLater_) << name;
  }
}

void DatabaseCheck::DropFailedDatabases(Catalogue& catalogue, const QStringList& failed) {
  for (const QString& entry : failed) {
    for (size_t k = 0; k < catalogue.published.size(); ++k) {
      if (catalogue.published[k].name != entry) continue;
      catalogue.published.erase(catalogue.published.begin() + static_cast<std::ptrdiff_t>(k));
      if (k < catalogue.tableLists.size())
        catalogue.tableLists.erase(catalogue.tableLists.begin() + static_cast<std::ptrdiff_t>(k));
      if (k < catalogue.queryLists.size())
        catalogue.queryLists.erase(catalogue.queryLists.begin() + static_cast<std::ptrdiff_t>(k));
      break;
    }
  }
}

}  // namespace corvane
