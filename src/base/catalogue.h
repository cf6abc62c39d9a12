#pragma once

#include <QString>
#include <QStringList>
#include <vector>

#include "base/database_location.h"

namespace corvane {

// One published database: display name (a file name with extension, or the operator's name
// for a server database) and the file's full path or the server database's connection text.
struct PublishedDatabase {
  QString name;
  QString location;
  // The file the server opens when it is not `location` itself: the SQLite database
  // imported from an Access file. Filled before each database check, never saved.
  QString servedLocation{};
  // Taken out of database.dat while the server ran: clients may still hold its number, so
  // it keeps its place in the list, and a new open is answered as for a file that is gone.
  bool withdrawn = false;

  const QString& ServedPath() const { return servedLocation.isEmpty() ? location : servedLocation; }
  bool IsServerDatabase() const { return IsServerDatabaseLocation(location); }
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
