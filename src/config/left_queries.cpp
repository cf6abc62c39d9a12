#include "config/left_queries.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>

#include "config/atomic_file.h"
#include "engine/engine_error.h"

namespace corvane {

LeftQueryFile::LeftQueryFile(const QString& programDir)
    : path_(QDir(programDir).filePath(QStringLiteral("leftqueries.dat"))) {}

std::vector<LeftQuery> LeftQueryFile::Load() const {
  QFile file(path_);
  std::vector<LeftQuery> queries;
  if (!file.open(QIODevice::ReadOnly)) return queries;
  const QJsonArray rows = QJsonDocument::fromJson(file.readAll()).array();
  for (const QJsonValue& row : rows) {
    LeftQuery query{row[QLatin1String("location")].toString(),
                    row[QLatin1String("name")].toString()};
    if (!query.location.isEmpty() && !query.name.isEmpty()) queries.push_back(std::move(query));
  }
  return queries;
}

void LeftQueryFile::Save(const std::vector<LeftQuery>& queries) const {
  if (queries.empty()) {
    QFile::remove(path_);
    return;
  }
  QJsonArray rows;
  for (const LeftQuery& query : queries) {
    rows.append(QJsonObject{{QStringLiteral("location"), query.location},
                            {QStringLiteral("name"), query.name}});
  }
  WriteFileAtomically(path_, QJsonDocument(rows).toJson());
}

std::vector<LeftQuery> RemoveLeftQueries(DatabaseOpener& databases, const PublishedList& published,
                                         const std::vector<LeftQuery>& left) {
  std::vector<LeftQuery> unreached;
  for (const LeftQuery& query : left) {
    const bool isPublished =
        std::any_of(published.begin(), published.end(), [&query](const PublishedDatabase& entry) {
          return entry.ServedPath().trimmed() == query.location.trimmed();
        });
    if (!isPublished) {
      unreached.push_back(query);
      continue;
    }
    try {
      std::unique_ptr<Database> db = databases.Open(query.location);
      try {
        db->DeleteQueryDef(query.name);
      } catch (const EngineError& error) {
        // Removed meanwhile (by the operator): nothing is left to do.
        if (error.number() != engine_error::kItemNotFound) throw;
      }
      db->Close();
    } catch (const EngineError&) {
      unreached.push_back(query);
    }
  }
  return unreached;
}

}  // namespace corvane
