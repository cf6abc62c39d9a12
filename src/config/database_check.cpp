#include "config/database_check.h"

#include <QFileInfo>

#include "engine/engine_error.h"

namespace corvane {

DatabaseCheck::DatabaseCheck(DatabaseOpener& databases, DatabaseCheckProgress& progress,
                             DatabaseErrorPrompt& prompt)
    : databases_(databases), progress_(progress), prompt_(prompt) {}

Catalogue DatabaseCheck::Run(PublishedList published) {
  Catalogue catalogue;
  catalogue.published = std::move(published);
  // Every published database has its lists, even when the check cannot fill them.
  catalogue.tableLists.assign(catalogue.published.size(), {});
  catalogue.queryLists.assign(catalogue.published.size(), {});
  CheckTables(catalogue);
  CheckQueries(catalogue);
  return catalogue;
}

void DatabaseCheck::CheckTables(Catalogue& catalogue) { RunPass(catalogue, Pass::kTables); }

void DatabaseCheck::CheckQueries(Catalogue& catalogue) { RunPass(catalogue, Pass::kQueries); }

void DatabaseCheck::RunPass(Catalogue& catalogue, Pass pass) {
  progress_.ShowHeading(pass == Pass::kTables ? QStringLiteral("Table: ")
                                              : QStringLiteral("Query: "));
  if (catalogue.published.empty()) {
    progress_.Close();
    return;
  }
  QStringList& failed = pass == Pass::kTables ? removeLater_ : removeQueryLater_;
  failed.clear();
  for (size_t d = 0; d < catalogue.published.size(); ++d) CheckDatabase(catalogue, pass, d);
  if (!failed.isEmpty()) DropFailedDatabases(catalogue, failed);
  if (pass == Pass::kQueries) progress_.Close();
}

void DatabaseCheck::CheckDatabase(Catalogue& catalogue, Pass pass, size_t d) {
  std::vector<QStringList>& lists =
      pass == Pass::kTables ? catalogue.tableLists : catalogue.queryLists;
  if (lists.size() <= d) lists.resize(d + 1);
  lists[d].clear();
  const PublishedDatabase& entry = catalogue.published[d];
  if (!entry.IsServerDatabase() && !QFileInfo(entry.ServedPath()).isFile()) return;
  // Shown before it is opened: the operator sees which database the check waits on.
  progress_.ShowDatabase(entry.name);
  try {
    lists[d] = ListedObjects(databases_, entry.ServedPath(), pass,
                             [this](const QString& object) { progress_.ShowObject(object); });
  } catch (const EngineError& error) {
    prompt_.ShowDatabaseError(QStringLiteral("Database Error: ") + entry.name +
                                  QStringLiteral("\r\r") + error.description(),
                              QStringLiteral("Database Error"));
    (pass == Pass::kTables ? removeLater_ : removeQueryLater_) << entry.name;
  }
}

QStringList DatabaseCheck::ListedObjects(DatabaseOpener& databases, const QString& location,
                                         Pass pass,
                                         const std::function<void(const QString&)>& shown) {
  QStringList objects;
  auto list = [&](const QString& object) {
    objects << object;
    if (shown) shown(object);
  };
  std::unique_ptr<Database> db = databases.Open(location);
  if (pass == Pass::kTables) {
    for (const TableDef& def : db->TableDefs()) {
      if (def.attributes != kUserTableAttributes && def.attributes != kLinkedTableAttributes &&
          def.attributes != kLinkedOdbcTableAttributes)
        continue;
      try {
        std::unique_ptr<Recordset> rs = db->OpenRecordset(def.name);
        list(def.name);
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
        if (!query.Name().contains(QLatin1Char('~'))) list(query.Name());
      } catch (const EngineError&) {
        // Queries asking for parameters or over missing tables are not offered.
      }
    }
  }
  db->Close();
  return objects;
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
