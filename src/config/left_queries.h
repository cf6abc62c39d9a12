#pragma once

#include <QString>
#include <vector>

#include "base/catalogue.h"
#include "engine/database.h"

namespace corvane {

// The client queries the server could not remove (the removal failed, or had not run when
// the server ended), kept in "leftqueries.dat" in the program's directory until a start
// removes them: a query its client never saved must not stay in the database for good.
class LeftQueryFile {
 public:
  explicit LeftQueryFile(const QString& programDir);

  // Nothing when the file is missing or cannot be read.
  std::vector<LeftQuery> Load() const;
  // An empty list deletes the file.
  void Save(const std::vector<LeftQuery>& queries) const;

  const QString& path() const { return path_; }

 private:
  QString path_;
};

// Removes each query of `left` from its database, where that database is published and the
// query is still stored there; gives back those it could not reach (their database is not
// published, or cannot be opened), to be tried again at the next start.
std::vector<LeftQuery> RemoveLeftQueries(DatabaseOpener& databases, const PublishedList& published,
                                         const std::vector<LeftQuery>& left);

}  // namespace corvane
