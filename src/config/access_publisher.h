#pragma once

#include <QString>
#include <functional>

#include "access/conversion_child.h"
#include "base/catalogue.h"
#include "config/database_check_ui.h"
#include "config/imported_databases.h"

namespace corvane {

// Serves published Access files from SQLite databases imported from them. The published
// list keeps naming the Access file (database.dat and the setup dialog show it); the
// entry's servedLocation names the database the server opens instead. The Access file
// itself is only ever read.
class AccessPublisher {
 public:
  // Takes a line for the activity list.
  using NoteWriter = std::function<void(const QString& note)>;

  AccessPublisher(QString programDir, DatabaseErrorPrompt& errors, NoteWriter note);

  // The program and time limit of the conversions; by default this executable with the
  // generous limit.
  void SetConversionChild(ConversionChild child) { child_ = std::move(child); }

  // Whether the file is served through an import: an Access file by its first bytes, or
  // by its name unless it is an SQLite database already.
  static bool NeedsImport(const QString& location);

  // Imports the file unless the unchanged file was imported before. A real import is
  // written to the activity list with the file's name and the report's summary.
  PublishedAccess Prepare(const QString& accessPath);

  // Points every Access entry at its imported database, importing where needed. An entry
  // whose file cannot be imported is told to the operator as a "Database Error" and
  // withdrawn, like a database the check cannot read.
  void PrepareList(PublishedList& published);

 private:
  QString programDir_;
  DatabaseErrorPrompt& errors_;
  NoteWriter note_;
  ConversionChild child_;
};

}  // namespace corvane
