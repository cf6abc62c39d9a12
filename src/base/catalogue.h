#pragma once

#include <QString>
#include <QStringList>
#include <vector>

namespace corvane {

// One published database: display name (file name with extension) and full path.
struct PublishedDatabase {
  QString name;
  QString location;
  // The file the server opens when it is not `location` itself: the SQLite database
  // imported from an Access file. Filled before each database check, never saved.
  QString servedLocation{};

  const QString& ServedPath() const { return servedLocation.isEmpty() ? location : servedLocation; }
  bool operator==(const PublishedDatabase&) const = default;
};

using PublishedList = std::vector<PublishedDatabase>;

// What clients may open: the published databases and, for database d (entry d of
// `published`), the tables and saved queries that the database check found. Numbers
// count from 0 in every list.
struct Catalogue {
  PublishedList published;
  std::vector<QStringList> tableLists;  // TableList(d)
  std::vector<QStringList> queryLists;  // QueryList(d)
};

}  // namespace corvane
