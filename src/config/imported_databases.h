#pragma once

#include <QString>
#include <QStringList>

#include "access/access_import_report.h"
#include "access/conversion_child.h"

namespace corvane {

// "<name>-<hash of the absolute path>-": the start of the names of files made from one
// source file, set apart from those of a file of the same name in another folder.
QString SourcePrefix(const QString& sourcePath);

// Whether a path names an Access file by its extension (.mdb, .accdb, .mde, .accde).
bool IsAccessFileName(const QString& path);

// Where the SQLite database made from the present version of an Access file lives:
// "databases/" in the program directory, one file per source path and version.
QString ImportedDatabasePath(const QString& programDir, const QString& accessPath);

struct PublishedAccess {
  bool ok = false;
  QString error;              // a sentence naming the file; empty when ok
  QString databasePath;       // the SQLite database to publish under the Access file's name
  bool imported = false;      // false when an earlier import of the unchanged file was reused
  AccessImportReport report;  // of the import that made databasePath
  // Databases made from earlier versions of the file, kept with the clients' changes.
  QStringList earlierImports;
};

// Makes an Access file publishable: imports it into "databases/" unless the database
// there was made from the file at its present size and modification time, in which case
// that database (with the clients' changes since) is kept. A changed file gets a new
// database under a new name; the older ones stay, named in earlierImports. `child` runs
// the conversion.
PublishedAccess PrepareAccessDatabase(const QString& programDir, const QString& accessPath,
                                      const ConversionChild& child = {});

}  // namespace corvane
