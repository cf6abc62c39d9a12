#include "config/database_check.h"

#include <QFileInfo>
#include <exception>

#include "engine/engine_error.h"

namespace corvane {

DatabaseCheck::DatabaseCheck(Catalogue& catalogue, DatabaseOpener& databases,
                             DatabaseCheckProgress& progress, DatabaseErrorPrompt& prompt,
                             DatabaseCheckWorker* worker)
    : catalogue_(catalogue),
      databases_(databases),
      progress_(progress),
      prompt_(prompt),
      worker_(worker) {}

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
  const bool server = catalogue_.published[d].IsServerDatabase();
  if (!server && !QFileInfo(location).isFile()) return;
  // Pending events run between objects, so the list is looked up each time.
  auto list = [&](const QString& object) {
    if (d < lists.size()) lists[d] << object;
  };
  try {
    if (server && worker_) {
      CheckAside(pass, name, location, list);
      return;
    }
    ListObjects(databases_, location, pass,
                {[&] { progress_.ShowDatabase(name); },
                 [&](const QString& object) {
                   list(object);
                   progress_.ShowObject(object);
                 },
                 [&] { progress_.LetEventsRun(); }});
  } catch (const EngineError& error) {
    prompt_.ShowDatabaseError(
        QStringLiteral("Database Error: ") + name + QStringLiteral("\r\r") + error.description(),
        QStringLiteral("Database Error"));
    (pass == Pass::kTables ? removeLater_ : removeQueryLater_) << name;
  }
}

void DatabaseCheck::CheckAside(Pass pass, const QString& name, const QString& location,
                               const std::function<void(const QString&)>& list) {
  // Shown first: the operator sees which database the check waits on.
  progress_.ShowDatabase(name);
  QStringList objects;
  std::exception_ptr failure;
  worker_->RunAside([&] {
    try {
      objects = ListedObjects(databases_, location, pass);
    } catch (...) {
      failure = std::current_exception();
    }
  });
  if (failure) std::rethrow_exception(failure);
  for (const QString& object : objects) {
    list(object);
    progress_.ShowObject(object);
  }
  progress_.LetEventsRun();
}

QStringList DatabaseCheck::ListedObjects(DatabaseOpener& databases, const QString& location,
                                         Pass pass) {
  QStringList objects;
  ListObjects(databases, location, pass,
              {[] {}, [&](const QString& object) { objects << object; }, [] {}});
  return objects;
}

void DatabaseCheck::ListObjects(DatabaseOpener& databases, const QString& location, Pass pass,
                                const Steps& steps) {
  std::unique_ptr<Database> db = databases.Open(location);
  steps.opened();
  if (pass == Pass::kTables) {
    for (const TableDef& def : db->TableDefs()) {
      if (def.attributes != kUserTableAttributes && def.attributes != kLinkedTableAttributes &&
          def.attributes != kLinkedOdbcTableAttributes)
        continue;
      try {
        std::unique_ptr<Recordset> rs = db->OpenRecordset(def.name);
        steps.listed(def.name);
        steps.between();
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
        if (!query.Name().contains(QLatin1Char('~'))) steps.listed(query.Name());
        steps.between();
      } catch (const EngineError&) {
        // Queries asking for parameters or over missing tables are not offered.
      }
    }
  }
  db->Close();
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
